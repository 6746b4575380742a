#pragma once

#include <juce_core/juce_core.h>

#include <exception>

namespace vesk_juce
{

/** The base of the DSP library's error type: a message with the source file and line that threw it. */
class vj_exception : public std::exception
{
public:
    vj_exception (const juce::String& message, const juce::String& file, int line);
    ~vj_exception() override = default;

    /** The message followed by ", at File: ", the file, ", Line: " and the line; valid while the exception lives. */
    const char* what() const noexcept override;

    const juce::String& getMessage() const noexcept { return message; }
    const juce::String& getFile() const noexcept { return file; }
    int getLine() const noexcept { return line; }

private:
    juce::String message, file;
    int line = 0;
    std::string text;
};

/** The one error the DSP library throws. */
class vj_dsp_exception : public vj_exception
{
public:
    using vj_exception::vj_exception;
};

/** Reduces a compiler path such as ".../Source/zdsp/common/ZBuffer.cpp" to "zdsp/common/ZBuffer". */
juce::String sourceNameFromPath (const char* path);

} // namespace vesk_juce

/** Throws a vj_dsp_exception carrying the current source file and line. */
#define VJ_DSP_THROW(message) \
    throw vesk_juce::vj_dsp_exception ((message), vesk_juce::sourceNameFromPath (__FILE__), __LINE__)
