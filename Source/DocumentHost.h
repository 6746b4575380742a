#pragma once

/** What the media document asks of the application around it: the format chooser, the switch to the
    player and the "Analyze" preference. Message thread only.
*/
class DocumentHost
{
public:
    virtual ~DocumentHost() = default;

    /** The "Select File Format for Save" dialog; non-zero when confirmed, and then the document holds the
        chosen format and quality.
    */
    virtual int chooseSaveFormat() = 0;

    /** Shows the player in the media window. */
    virtual void enterPlayerMode() = 0;

    /** Whether newly opened media is analysed for a noise-only stretch. */
    virtual bool isAnalyzeEnabled() = 0;
};
