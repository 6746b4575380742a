#include "TavlinApplication.h"

START_JUCE_APPLICATION (TavlinApplication)
