#include "console/adapters/QtDiagnosticsViewer.h"

#include "console/widgets/BoundedPane.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QTime>
#include <QVBoxLayout>

namespace {

// The categories the units announce; others get their box when their first message arrives.
const char* const knownCategories[] = {"SerialPort",     "MFC",        "ThreadMFC",
                                       "PSD4 interface", "ThreadPUMP", "UnitGas"};

QString BoxName(QString category) {
    category.remove(' ');
    return "CheckBox" + category;
}

} // namespace

TDiagnosticsViewer::TDiagnosticsViewer(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("DiagnosticsViewer");
    setWindowTitle("Diagnostics");
    resize(800, 400);

    auto* panel = new QWidget;
    panel->setObjectName("PanelCategories");
    categories_ = new QVBoxLayout(panel);
    categories_->addWidget(new QLabel("Categories"));
    categories_->addStretch();
    auto* scroll = new QScrollArea;
    scroll->setWidget(panel);
    scroll->setWidgetResizable(true);
    scroll->setFixedWidth(170);

    lines_ = new QPlainTextEdit;
    lines_->setObjectName("MemoDiagnostics");
    lines_->setReadOnly(true);
    // An undo history would keep every line ever shown, and every line dropped with it: hundreds
    // of megabytes over a week of instrument traffic.
    lines_->setUndoRedoEnabled(false);
    lines_->setLineWrapMode(QPlainTextEdit::NoWrap);
    lines_->setFont(QFont("DejaVu Sans Mono", 9));

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(scroll);
    layout->addWidget(lines_, 1);

    for (const char* category : knownCategories)
        CategoryBox(category);
}

QCheckBox* TDiagnosticsViewer::CategoryBox(const QString& category) {
    if (QCheckBox* box = boxes_.value(category))
        return box;
    auto* box = new QCheckBox(category);
    box->setObjectName(BoxName(category));
    box->setChecked(IsDiagnosticCategoryEnabled(category.toStdString()));
    connect(box, &QCheckBox::toggled, this,
            [category](bool on) { SetDiagnosticCategoryEnabled(category.toStdString(), on); });
    categories_->insertWidget(categories_->count() - 1, box); // above the stretch
    boxes_.insert(category, box);
    return box;
}

void TDiagnosticsViewer::showEvent(QShowEvent* event) {
    // The switches may have been set elsewhere while the window was closed.
    for (auto it = boxes_.cbegin(); it != boxes_.cend(); ++it)
        it.value()->setChecked(IsDiagnosticCategoryEnabled(it.key().toStdString()));
    QWidget::showEvent(event);
}

void TDiagnosticsViewer::Send(const std::string& category, const std::string& text) {
    TMessage message{QString::fromStdString(category),
                     QTime::currentTime().toString("hh:mm:ss.zzz"), QString::fromStdString(text)};
    std::lock_guard lock(mutex_);
    if (queued_.size() >= MaxQueued) {
        queued_.removeFirst();
        ++dropped_;
    }
    queued_.append(std::move(message));
    if (!showPending_) {
        showPending_ = true;
        QMetaObject::invokeMethod(this, &TDiagnosticsViewer::ShowQueued, Qt::QueuedConnection);
    }
}

void TDiagnosticsViewer::ShowQueued() {
    QList<TMessage> batch;
    int dropped = 0;
    {
        std::lock_guard lock(mutex_);
        batch.swap(queued_);
        std::swap(dropped, dropped_);
        showPending_ = false;
    }
    QStringList text;
    if (dropped > 0)
        text << QString("(%1 messages dropped)").arg(dropped);
    for (const TMessage& message : batch) {
        CategoryBox(message.Category);
        text << message.Category.leftJustified(15) + " " + message.Time + "  " + message.Text;
    }
    // Only the last lines that fit are worth laying out.
    if (text.size() > MaxLines)
        text = text.mid(text.size() - MaxLines);
    AppendToBoundedPane(*lines_, text.join('\n'), MaxLines);
}
