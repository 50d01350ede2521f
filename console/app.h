// The program entry shared by every front end: runs the main dialog to the end.
#pragma once

// Runs the main window until the operator exits; returns the exit code (0).
int app_main();
struct Session;
// The same with a session record of the caller's, which it may read afterwards (tests).
int app_main(Session* session);
