// The fixed catalogue of sound files a selection indexes (1-based).
#pragma once

enum { kSoundCatalogueCount = 45 };

// SoundCatalogue[i - 1] is the file name of catalogue entry i.
extern const char* const SoundCatalogue[kSoundCatalogueCount];
