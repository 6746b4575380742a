// Feeds arbitrary bytes to the state-blob reader and to what the processor does with what it reads:
// the parameter values and the two noise profiles. Whatever it accepts must also survive being written
// and read again unchanged.

#include "StateBlob.h"
#include "ZBuffer.h"
#include "ZNumberText.h"

#include <cstdint>
#include <cstdlib>

// The noise-profile buffers are action broadcasters, which expect a message manager to exist.
extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    juce::MessageManager::getInstance();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    if (auto root = StateBlob::read (data, size))
    {
        for (int i = 0; i < root->getNumAttributes(); ++i)
            (void) vesk::readFiniteFloat (root->getAttributeValue (i));

        for (int c = 0; c < 2 && c < root->getNumChildElements(); ++c)
        {
            vesk::ZBuffer profile (513, "NoiseProfile");
            (void) profile.restoreFromXml (*root->getChildElement (c));
        }

        juce::MemoryBlock written;
        StateBlob::write (*root, written);
        auto again = StateBlob::read (written.getData(), written.getSize());

        if (again == nullptr || !again->isEquivalentTo (root.get(), false))
            std::abort();
    }

    // Element and attribute names go into the framework's shared pool; let it forget this input's.
    juce::StringPool::getGlobalPool().garbageCollect();
    return 0;
}
