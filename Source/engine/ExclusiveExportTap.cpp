#include "ExclusiveExportTap.h"

namespace
{
std::atomic<const tavlin::media::AudioProcessingTap*> exclusive { nullptr };
} // namespace

ExclusiveExportTap::ExclusiveExportTap (const tavlin::media::AudioProcessingTap* tapToUse) noexcept : tap (tapToUse)
{
    exclusive.store (tap);
}

ExclusiveExportTap::~ExclusiveExportTap()
{
    auto expected = tap;
    exclusive.compare_exchange_strong (expected, nullptr);
}

const tavlin::media::AudioProcessingTap* ExclusiveExportTap::get() noexcept
{
    return exclusive.load();
}
