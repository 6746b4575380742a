#pragma once

namespace tavlin::desktop
{

/** Ends the message loop, as the framework's quit does, and makes sure the loop wakes to see it.

    The framework's loop looks whether it has been asked to quit only after a turn in which it reports having
    handled something. A nested loop (a modal box, or the settle before a quit) leaves the outer turn it runs in
    reporting nothing, so when the quit's message is handled within such a turn the outer loop goes back to
    sleep; and once quit, the framework posts no message that could wake it, so on a still desktop the program
    never ends. This wakes the loop once more after the quit by a pipe of its own. Message thread only.
*/
void quitMessageLoop();

} // namespace tavlin::desktop
