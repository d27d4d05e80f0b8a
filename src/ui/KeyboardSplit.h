// "$$S&plit": the keyboard moves the main window's splitter bars. The
// arrow keys move them (Left and Right the tree's bar, Up and Down the
// description pane's), Enter or a click keeps the new place, Escape puts
// the bars back where they were.
#pragma once

class QSplitter;

void StartKeyboardSplit(QSplitter* horizontal, QSplitter* vertical);
// Whether a keyboard split is under way.
bool KeyboardSplitActive();
