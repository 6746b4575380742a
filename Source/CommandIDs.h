#pragma once

/** Ids of the menu commands and of the two extra menu items beside them. */
namespace CommandIDs
{
enum
{
    openMedia = 0x2000,
    closeMedia = 0x2001,
    saveMedia = 0x2002,
    saveMediaAs = 0x2003,
    batchProcess = 0x2004,
    resetSettings = 0x2005,
    loadPreset = 0x2006,
    savePreset = 0x2007,
    playPause = 0x200a,
    rewindToStart = 0x200b,
    forward = 0x200c,
    backward = 0x200d,
    loop = 0x200e,
    showMediaPlayer = 0x200f,
    showMediaRecorder = 0x2010,
    showUserGuide = 0x2011,

    // Plain menu items, not commands: they never go through the command manager.
    showAbout = 0x2100,
    checkForUpdates = 0x2101
};
} // namespace CommandIDs
