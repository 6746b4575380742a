// Programs that link only the non-GUI JUCE modules never start a web-view child process.
namespace juce
{
int juce_gtkWebkitMain (int, const char**)
{
    return 1;
}
} // namespace juce
