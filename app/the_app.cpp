#include "app/lyrics_app.h"

// The one application object, constructed before the platform's entry point runs.
CLyricsApp theApp;
