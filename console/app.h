// The program entry shared by every front end: runs the main dialog to the end.
#pragma once

// Runs the main window until the operator exits; returns the exit code (0).
int app_main();
