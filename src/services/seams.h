#pragma once
// The ground floor (foundation/) sits below the shell and cannot call it, so
// what it needs of the shell is handed to it once, at the program's start:
// downloads stop with the program's stop requests, and a text file that cannot
// be read is shown in the main window's status line. Tests that depend on
// either call this too.

void gf_setFoundationSeams();
