// Programs that link only the non-GUI JUCE modules never start a web-view child process.
int juce_gtkWebkitMain (int, const char**)
{
    return 1;
}
