#pragma once
// Text panes that grow for as long as the console runs (the log pane, the data table) keep their
// last lines only; the session log and the flow log files keep every line. Such a pane holds at
// least its number of lines and at most a twentieth more: once over, its oldest lines go in one
// piece. Trimming a line at a time (QPlainTextEdit's maximumBlockCount) makes the pane look for
// its widest line among all it holds whenever the widest it knew of reaches the top; with a
// hundred thousand lines that search took most of the engine tick's time on a long run.
#include <QString>

class QPlainTextEdit;

// The log pane's lines: about a day at full rig size.
constexpr int LogPaneLines = 100000;
// The data table pane's lines: about a day at a row every 3 s.
constexpr int DataPaneLines = 30000;

// Appends text (one or more lines) as a new last line of the pane, then drops the oldest lines
// down to `lines` once the pane holds more than `lines` and its margin.
void AppendToBoundedPane(QPlainTextEdit& pane, const QString& text, int lines);
