// Start-up of the window beside a bare Qt dialog with the same kinds of controls, each
// in a fresh process, exec to first shown, in alternating runs.
#pragma once

// The child side: runs the window ("window") or the bare dialog ("bare") and reports
// to fd when the first dialog is shown, then leaves. The exit status.
int ui_start_child(const char* mode, int fd, const char* settings_file);
// The parent side: runs self in both modes, rounds times each, alternating; medians
// in ms. 0 when a child failed.
int ui_start_compare(const char* self, const char* settings_file, int rounds, double* window_ms, double* bare_ms);
