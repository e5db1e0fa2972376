#pragma once

class QKeyEvent;
class QWidget;

namespace quillet {

class StretchCommands;

// The stretch editor's keys as the main window takes them: Space play/pause, B and N begin and
// end at the play head, [ and ] the play head to the begin and the end, Left and Right the
// selected handle by the step (Shift: ten steps), P play around the handle, Ctrl+Z and
// Ctrl+Shift+Z undo and redo. Up, Down, Home, End and the page keys stay the list's, Escape, F1
// and Enter the window's. A focused control keeps the keys it uses itself: a text box (the rename
// box, the folder) and the format box all of them, a skin button its Space, a skin bar its Left
// and Right. True when the key ran a command.
bool TakeStretchKey(StretchCommands& commands, const QKeyEvent& key, const QWidget* focus);

}  // namespace quillet
