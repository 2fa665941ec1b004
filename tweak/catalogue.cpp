#include "tweak/catalogue.h"

// Entries 24 to 28 are MP3 files, the rest MPEG-4 audio.
const char* const SoundCatalogue[kSoundCatalogueCount] = {
    "BubbleAppear-mono.m4a",          // 1
    "BubbleDisappear-mono.m4a",       // 2
    "ChargingStarted.m4a",            // 3
    "ChargingStarted2.m4a",           // 4
    "ChargingStarted3.m4a",           // 5
    "iOSScreenOff-mono.m4a",          // 6, every selection's default
    "lens_flare_Unlock.m4a",          // 7
    "Pong.m4a",                       // 8
    "PowerOn.m4a",                    // 9
    "Select-mono.m4a",                // 10
    "SelectionDirectionChange-mono.m4a",  // 11
    "Smooth1.m4a",                    // 12
    "Smooth2.m4a",                    // 13
    "Unlock-Water.m4a",               // 14
    "WirelessChargingStarted.m4a",    // 15
    "Afraid-1.m4a",                   // 16
    "Afraid-2.m4a",                   // 17
    "Nani-1.m4a",                     // 18
    "Nani-2.m4a",                     // 19
    "Hai.m4a",                        // 20
    "Ara-Ara.m4a",                    // 21
    "Ohayo.m4a",                      // 22
    "Tutturu.m4a",                    // 23
    "Custom1.mp3",                    // 24
    "Custom2.mp3",                    // 25
    "Custom3.mp3",                    // 26
    "Custom4.mp3",                    // 27
    "Custom5.mp3",                    // 28
    "lock.m4a",                       // 29
    "unlock.m4a",                     // 30
    "beep-beep.m4a",                  // 31
    "Focus.m4a",                      // 32
    "LinkBegin.m4a",                  // 33
    "Reorder.m4a",                    // 34
    "SingleClick.m4a",                // 35
    "Switch-1.m4a",                   // 36
    "Switch-2.m4a",                   // 37
    "Switch-3.m4a",                   // 38
    "Switch-4.m4a",                   // 39
    "Volume.m4a",                     // 40
    "Mac_Quadra_AV_Startup.m4a",      // 41
    "Power_Mac_PCI_Startup.m4a",      // 42
    "Power_Mac_PCI_2_Startup.m4a",    // 43
    "Pre-T2-based_Mac_Startup.m4a",   // 44
    "T2-based_Mac_Startup.m4a",       // 45
};
