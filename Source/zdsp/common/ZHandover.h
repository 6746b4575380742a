#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <type_traits>

namespace vesk
{

/** Hands the newest complete value from one writer thread to one reader thread without a lock.

    Three slots rotate between the writer, the reader and the one in between: post fills the writer's
    slot and swaps it into the middle; take swaps the middle out when it holds a value not yet taken.
    Neither side waits or allocates, and the reader never sees a value half written. A value posted
    before the previous one was taken replaces it.
*/
template <typename Value>
class ZHandover
{
    static_assert (std::is_trivially_copyable<Value>::value, "values are copied between slots");

public:
    /** Writer side: publishes a copy of the value. */
    void post (const Value& value) noexcept
    {
        slots[(std::size_t) writerSlot] = value;
        writerSlot = middle.exchange (writerSlot | freshFlag, std::memory_order_acq_rel) & slotMask;
    }

    /** Reader side: copies the newest posted value and returns true, or returns false when nothing was
        posted since the last take.
    */
    bool take (Value& destination) noexcept
    {
        if ((middle.load (std::memory_order_acquire) & freshFlag) == 0)
            return false;

        readerSlot = middle.exchange (readerSlot, std::memory_order_acq_rel) & slotMask;
        destination = slots[(std::size_t) readerSlot];
        return true;
    }

    /** True when a value is waiting to be taken. */
    bool hasPending() const noexcept { return (middle.load (std::memory_order_acquire) & freshFlag) != 0; }

private:
    static constexpr int slotMask = 3;
    static constexpr int freshFlag = 4;

    std::array<Value, 3> slots {};
    std::atomic<int> middle { 1 };
    int writerSlot = 0;
    int readerSlot = 2;
};

} // namespace vesk
