// What the console front end needs of the terminal.
#pragma once

// Ctrl+C then reaches the scan as a quit message, as closing the window would.
void installInterruptHandler();
bool standardInputIsTerminal();
bool standardOutputIsTerminal();
bool standardErrorIsTerminal();
