// The program's one way of asking: the confirmation dialog in the place of the
// platform's message box.
#pragma once

// Shows `message` under `caption` (empty: the program's title) with the
// buttons and icon of the message-box `style` bits (0x01 OK and Cancel, else
// 0x04 Yes and No, else OK; icons 0x30, 0x40, 0x20, 0x10, else warning).
// Returns 1 OK, 2 Cancel, 6 Yes or 7 No; closing the dialog is No in the
// Yes-and-No form and Cancel otherwise.
int ShowConfirmBox(const char* message, const char* caption, unsigned style);

// Whether a question of this program is open (on any level of nesting).
bool QuestionOpen();
