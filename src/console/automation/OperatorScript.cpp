#include "console/automation/OperatorScript.h"

#include "console/widgets/Chart.h"
#include "platform/OperatorMessages.h"

#include <qcustomplot.h>

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QCursor>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include <cmath>
#include <cstdio>
#include <mutex>

namespace {

// How long a command waits for its control to be enabled and shown: a device search or the stop
// of the workers holds input out for a while, on a busy machine for long.
constexpr double ControlWait_s = 60;
constexpr double DefaultLogWait_s = 60;
constexpr double LongestWait_s = 7 * 24 * 3600;
constexpr int RetryInterval_ms = 100;

// "\n" for a line break, "\\" for a backslash, "\"" for a quote; any other backslash stays.
QString Unescape(const QString& text) {
    QString plain;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\\') && i + 1 < text.size()) {
            const QChar n = text.at(i + 1);
            if (n == QLatin1Char('n')) {
                plain += QLatin1Char('\n');
                ++i;
                continue;
            }
            if (n == QLatin1Char('\\') || n == QLatin1Char('"')) {
                plain += n;
                ++i;
                continue;
            }
        }
        plain += c;
    }
    return plain;
}

// A text argument: the rest of the line, or a quoted text followed by what remains (in rest).
bool SplitText(const QString& source, QString& text, QString& rest, QString& error) {
    if (!source.startsWith(QLatin1Char('"'))) {
        text = Unescape(source);
        rest.clear();
        return true;
    }
    for (qsizetype i = 1; i < source.size(); ++i) {
        if (source.at(i) == QLatin1Char('\\')) {
            ++i;
            continue;
        }
        if (source.at(i) == QLatin1Char('"')) {
            text = Unescape(source.mid(1, i - 1));
            rest = source.mid(i + 1).trimmed();
            return true;
        }
    }
    error = QStringLiteral("the quoted text has no closing quote");
    return false;
}

bool ParseSeconds(const QString& word, double& seconds) {
    bool ok = false;
    const double value = word.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0 || value > LongestWait_s)
        return false;
    seconds = value;
    return true;
}

// The first word and the rest, without surrounding blanks.
void SplitWord(const QString& text, QString& word, QString& rest) {
    const QString trimmed = text.trimmed();
    const qsizetype space = trimmed.indexOf(QRegularExpression(QStringLiteral("\\s")));
    word = space < 0 ? trimmed : trimmed.left(space);
    rest = space < 0 ? QString() : trimmed.mid(space).trimmed();
}

void SendKey(QWidget* widget, int key, const QString& text = QString()) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(widget, &release);
}

} // namespace

// Message boxes would wait for an OK that nobody clicks; they go to standard error and are kept.
class TOperatorScript::TMessageSink final : public OperatorMessages {
public:
    TMessageSink() : previous_(&GetOperatorMessages()) { SetOperatorMessages(this); }
    ~TMessageSink() override { Release(); }
    // The boxes go back to the sink that was there before.
    void Release() {
        if (&GetOperatorMessages() == this)
            SetOperatorMessages(previous_);
    }
    TMessageSink(const TMessageSink&) = delete;
    TMessageSink& operator=(const TMessageSink&) = delete;

    void ShowMessage(const std::string& text) override {
        std::lock_guard lock(mutex_);
        texts_.push_back(text);
        std::fprintf(stderr, "operator script: message box: %s\n", text.c_str());
        std::fflush(stderr);
    }
    std::vector<std::string> Texts() const {
        std::lock_guard lock(mutex_);
        return texts_;
    }

private:
    OperatorMessages* previous_;
    mutable std::mutex mutex_;
    std::vector<std::string> texts_;
};

TOperatorScript::TOperatorScript(QMainWindow& window, const QString& path)
    : window_(window), path_(path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        errorText_ = QStringLiteral("operator script %1: %2").arg(path, file.errorString());
        return;
    }
    Parse(QString::fromUtf8(file.readAll()));
}

TOperatorScript::TOperatorScript(QMainWindow& window, const QString& text, const QString& path)
    : window_(window), path_(path) {
    Parse(text);
}

TOperatorScript::~TOperatorScript() = default;

std::vector<std::string> TOperatorScript::Messages() const {
    return messages_ ? messages_->Texts() : std::vector<std::string>();
}

void TOperatorScript::Parse(const QString& text) {
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int line = static_cast<int>(i + 1);
        const QString trimmed = lines[i].trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        TCommand command;
        command.Line = line;
        QString rest;
        SplitWord(trimmed, command.Name, rest);
        const QString& name = command.Name;
        QString error;
        if (name == QLatin1String("trigger") || name == QLatin1String("click") ||
            name == QLatin1String("select-row")) {
            QString extra;
            SplitWord(rest, command.Control, extra);
            // "add" extends the selection, as a click with Ctrl held does.
            if (name == QLatin1String("select-row") && extra == QLatin1String("add")) {
                command.Text = extra;
                extra.clear();
            }
            if (command.Control.isEmpty() || !extra.isEmpty())
                error = name + QStringLiteral(" takes one name");
        } else if (name == QLatin1String("choose") || name == QLatin1String("type") ||
                   name == QLatin1String("set-plain")) {
            QString textPart, after;
            SplitWord(rest, command.Control, textPart);
            if (command.Control.isEmpty() || textPart.isEmpty())
                error = name + QStringLiteral(" takes a control's name and a text");
            else if (SplitText(textPart, command.Text, after, error) && !after.isEmpty())
                error = QStringLiteral("text after the quoted text");
        } else if (name == QLatin1String("wait-log") || name == QLatin1String("wait-file")) {
            QString after;
            command.Seconds = DefaultLogWait_s;
            if (rest.isEmpty()) {
                error = name + (name == QLatin1String("wait-log")
                                    ? QStringLiteral(" takes a text")
                                    : QStringLiteral(" takes a file name"));
            } else if (rest.startsWith(QLatin1Char('"'))) {
                if (SplitText(rest, command.Text, after, error) && !after.isEmpty() &&
                    !ParseSeconds(after, command.Seconds))
                    error = name + QStringLiteral(" takes a number of seconds after its text");
            } else {
                // A last word that is a number is the time limit.
                const qsizetype space = rest.lastIndexOf(QLatin1Char(' '));
                double seconds = 0;
                if (space > 0 && ParseSeconds(rest.mid(space + 1), seconds)) {
                    command.Seconds = seconds;
                    rest = rest.left(space).trimmed();
                }
                SplitText(rest, command.Text, after, error);
            }
        } else if (name == QLatin1String("hover-chart")) {
            const QStringList words = rest.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            bool timeOk = false, flowOk = false;
            if (words.size() == 2) {
                command.X = words[0].toDouble(&timeOk);
                command.Y = words[1].toDouble(&flowOk);
            }
            if (!timeOk || !flowOk || !std::isfinite(command.X) || !std::isfinite(command.Y))
                error = QStringLiteral("hover-chart takes a time and a flow");
        } else if (name == QLatin1String("wait")) {
            if (!ParseSeconds(rest, command.Seconds))
                error = QStringLiteral("wait takes a number of seconds");
        } else if (name == QLatin1String("touch")) {
            QString after;
            if (rest.isEmpty())
                error = QStringLiteral("touch takes a file name");
            else if (SplitText(rest, command.Text, after, error) && !after.isEmpty())
                error = QStringLiteral("text after the quoted text");
        } else if (name == QLatin1String("close") || name == QLatin1String("window-boxes")) {
            if (!rest.isEmpty())
                error = name + QStringLiteral(" takes nothing");
        } else {
            error = QStringLiteral("unknown command \"%1\"").arg(name);
        }
        if (!error.isEmpty()) {
            errorText_ = QStringLiteral("operator script line %1: %2").arg(line).arg(error);
            commands_.clear();
            return;
        }
        commands_.push_back(command);
    }
}

void TOperatorScript::Start() {
    if (running_ || finished_)
        return;
    messages_ = std::make_unique<TMessageSink>();
    if (Failed()) {
        std::fprintf(stderr, "%s\n", qPrintable(errorText_));
        Finish();
        QMetaObject::invokeMethod(&window_, "close", Qt::QueuedConnection);
        return;
    }
    running_ = true;
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, &TOperatorScript::Step);
    ScheduleNext(0);
}

void TOperatorScript::ScheduleNext(int delay_ms) {
    if (running_)
        timer_->start(delay_ms);
}

void TOperatorScript::Fail(int line, const QString& reason) {
    errorText_ = QStringLiteral("operator script line %1: %2").arg(line).arg(reason);
    std::fprintf(stderr, "%s\n", qPrintable(errorText_));
    std::fflush(stderr);
    Finish();
    QMetaObject::invokeMethod(&window_, "close", Qt::QueuedConnection);
}

void TOperatorScript::Finish() {
    running_ = false;
    finished_ = true;
}

void TOperatorScript::Step() {
    if (!running_)
        return;
    if (next_ >= commands_.size()) {
        Finish();
        return;
    }
    const TCommand& command = commands_[next_];
    if (waitingSince_ms_ < 0)
        waitingSince_ms_ = QDateTime::currentMSecsSinceEpoch();
    // A command runs to its end before the next is scheduled. A menu entry alone is started from
    // the event loop (see Run), so the commands after it may run while its handler serves events;
    // the ones that use a control wait meanwhile, as the window holds input out.
    if (!Run(command)) {
        ScheduleNext(RetryInterval_ms);
        return;
    }
    if (!running_)
        return;
    waitingSince_ms_ = -1;
    ++next_;
    ScheduleNext(0);
}

bool TOperatorScript::Available(QWidget* widget, const TCommand& command) {
    // The operator brings the tab that holds a control to the front before using it.
    for (QTabWidget* tabs : window_.findChildren<QTabWidget*>()) {
        for (int i = 0; i < tabs->count(); ++i) {
            if (tabs->widget(i)->isAncestorOf(widget) && tabs->currentIndex() != i)
                tabs->setCurrentIndex(i);
        }
    }
    if (widget->isEnabled() && widget->isVisibleTo(&window_))
        return true;
    const double waited_s = (QDateTime::currentMSecsSinceEpoch() - waitingSince_ms_) / 1000.0;
    if (waited_s > ControlWait_s)
        Fail(command.Line,
             QStringLiteral("%1 stayed %2 for %3 s")
                 .arg(command.Control,
                      widget->isEnabled() ? QStringLiteral("hidden") : QStringLiteral("disabled"))
                 .arg(ControlWait_s));
    return false;
}

bool TOperatorScript::Run(const TCommand& command) {
    const QString& name = command.Name;
    const auto missing = [&](const char* kind) {
        Fail(command.Line,
             QStringLiteral("no %1 named \"%2\"").arg(QLatin1String(kind), command.Control));
        return true;
    };
    const auto elapsed_s = [&] {
        return (QDateTime::currentMSecsSinceEpoch() - waitingSince_ms_) / 1000.0;
    };

    if (name == QLatin1String("trigger")) {
        // Triggered from the event loop rather than from here: an entry that holds the window
        // while it serves events (the search) then lets the next commands run meanwhile, so a
        // script can watch it or take a picture of it.
        if (triggerQueued_) {
            if (!triggerStarted_)
                return false;
            triggerQueued_ = false;
            return true;
        }
        QAction* action = window_.findChild<QAction*>(command.Control);
        if (!action)
            return missing("menu entry");
        // A menu entry is reachable only while it and every menu on the way to it are enabled.
        bool enabled = action->isEnabled();
        for (QObject* shown : action->associatedObjects()) {
            for (auto* w = qobject_cast<QWidget*>(shown); w && enabled; w = w->parentWidget())
                enabled = w->isEnabled();
        }
        if (!enabled) {
            if (elapsed_s() > ControlWait_s)
                Fail(command.Line, QStringLiteral("%1 stayed disabled for %2 s")
                                       .arg(command.Control)
                                       .arg(ControlWait_s));
            return !running_;
        }
        triggerQueued_ = true;
        triggerStarted_ = false;
        QTimer::singleShot(0, this, [this, action = QPointer<QAction>(action)] {
            triggerStarted_ = true;
            if (action)
                action->trigger();
        });
        return false;
    }
    if (name == QLatin1String("click")) {
        auto* button = window_.findChild<QAbstractButton*>(command.Control);
        if (!button)
            return missing("button");
        if (!Available(button, command))
            return !running_;
        button->click();
        return true;
    }
    if (name == QLatin1String("select-row")) {
        auto* list = window_.findChild<QTreeWidget*>(QStringLiteral("ListViewDevices"));
        if (!list)
            return missing("device list");
        TCommand listCommand = command;
        listCommand.Control = QStringLiteral("ListViewDevices");
        if (!Available(list, listCommand))
            return !running_;
        QTreeWidgetItem* row = nullptr;
        for (int i = 0; i < list->topLevelItemCount() && !row; ++i) {
            if (list->topLevelItem(i)->text(0).compare(command.Control, Qt::CaseInsensitive) == 0)
                row = list->topLevelItem(i);
        }
        if (!row) {
            Fail(command.Line,
                 QStringLiteral("no row \"%1\" in ListViewDevices").arg(command.Control));
            return true;
        }
        // The row becomes current and selected as under a press of the mouse; the release on
        // it is what makes the list take it as the operator's choice and show the device.
        const bool add = command.Text == QLatin1String("add");
        list->scrollToItem(row);
        list->setCurrentItem(row, 0,
                             add ? QItemSelectionModel::Select | QItemSelectionModel::Rows
                                 : QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        const QPointF at = list->visualItemRect(row).center();
        QMouseEvent release(QEvent::MouseButtonRelease, at, list->viewport()->mapToGlobal(at),
                            Qt::LeftButton, Qt::NoButton,
                            add ? Qt::ControlModifier : Qt::NoModifier);
        QCoreApplication::sendEvent(list->viewport(), &release);
        return true;
    }
    if (name == QLatin1String("choose")) {
        auto* combo = window_.findChild<QComboBox*>(command.Control);
        if (!combo)
            return missing("drop-down list");
        if (!Available(combo, command))
            return !running_;
        int found = -1;
        for (int i = 0; i < combo->count() && found < 0; ++i) {
            if (combo->itemText(i).trimmed() == command.Text.trimmed())
                found = i;
        }
        for (int i = 0; i < combo->count() && found < 0; ++i) {
            QString first, rest;
            SplitWord(combo->itemText(i), first, rest);
            if (first == command.Text.trimmed())
                found = i;
        }
        if (found < 0) {
            Fail(command.Line,
                 QStringLiteral("%1 has no entry \"%2\"").arg(command.Control, command.Text));
            return true;
        }
        // What picking the entry from the list's popup does.
        combo->setCurrentIndex(found);
        emit combo->activated(found);
        emit combo->textActivated(combo->itemText(found));
        return true;
    }
    if (name == QLatin1String("type")) {
        auto* field = window_.findChild<QLineEdit*>(command.Control);
        if (!field)
            return missing("field");
        if (!Available(field, command))
            return !running_;
        field->setFocus(Qt::OtherFocusReason);
        field->selectAll();
        for (const QChar c : command.Text)
            SendKey(field, 0, QString(c));
        SendKey(field, Qt::Key_Return);
        return true;
    }
    if (name == QLatin1String("set-plain")) {
        auto* memo = window_.findChild<QPlainTextEdit*>(command.Control);
        if (!memo)
            return missing("text pane");
        if (!Available(memo, command))
            return !running_;
        memo->setPlainText(command.Text);
        return true;
    }
    if (name == QLatin1String("wait-log")) {
        auto* memo = window_.findChild<QPlainTextEdit*>(QStringLiteral("MemoMain"));
        if (!memo) {
            Fail(command.Line, QStringLiteral("no log pane MemoMain"));
            return true;
        }
        if (memo->toPlainText().contains(command.Text))
            return true;
        if (elapsed_s() > command.Seconds)
            Fail(command.Line, QStringLiteral("the log did not show \"%1\" within %2 s")
                                   .arg(command.Text)
                                   .arg(command.Seconds));
        return !running_;
    }
    if (name == QLatin1String("wait-file")) {
        if (QFileInfo::exists(command.Text))
            return true;
        if (elapsed_s() > command.Seconds)
            Fail(command.Line, QStringLiteral("the file \"%1\" did not appear within %2 s")
                                   .arg(command.Text)
                                   .arg(command.Seconds));
        return !running_;
    }
    if (name == QLatin1String("hover-chart")) {
        auto* chart = window_.findChild<TChart*>(QStringLiteral("RtGraph2DMain"));
        if (!chart || !chart->isVisible()) {
            Fail(command.Line, QStringLiteral("no chart RtGraph2DMain shown"));
            return true;
        }
        chart->Replot();
        QCustomPlot* plot = chart->Plot();
        const QPoint at(qRound(plot->xAxis->coordToPixel(command.X)),
                        qRound(plot->yAxis2->coordToPixel(command.Y)));
        // The pointer itself goes there first, where there is one (a virtual X server): the leave
        // event of the widget it comes from would hide a tip shown before it arrives.
        if (!pointerMoved_) {
            pointerMoved_ = true;
            QCursor::setPos(plot->mapToGlobal(at));
            return false;
        }
        pointerMoved_ = false;
        QMouseEvent move(QEvent::MouseMove, at, plot->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(plot, &move);
        return true;
    }
    if (name == QLatin1String("wait"))
        return elapsed_s() >= command.Seconds;
    if (name == QLatin1String("touch")) {
        QFile file(command.Text);
        if (!file.open(QIODevice::Append) ||
            !file.setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime)) {
            Fail(command.Line,
                 QStringLiteral("cannot touch %1: %2").arg(command.Text, file.errorString()));
        }
        return true;
    }
    if (name == QLatin1String("window-boxes")) {
        messages_->Release();
        return true;
    }
    // close: the window's own close, which stops the workers; nothing after it runs.
    Finish();
    QMetaObject::invokeMethod(&window_, "close", Qt::QueuedConnection);
    return true;
}
