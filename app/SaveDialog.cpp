#include "SaveDialog.h"

#include "ControlState.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

namespace {

struct FormatChoice {
    SaveFormat format;
    const char* label;
};

// Decoding and encoding threads of a save from the player.
constexpr int kPlayerSaveThreads = 2;

constexpr FormatChoice kFormats[] = {
    {SaveFormat::Video, "Summary video with sound (MP4)"},
    {SaveFormat::Json, "Segment list (JSON)"},
    {SaveFormat::Csv, "Segment list (CSV)"},
    {SaveFormat::Edl, "Edit decision list (EDL)"},
    {SaveFormat::Otio, "Editor timeline (OpenTimelineIO)"},
    {SaveFormat::Fcpxml, "Editor timeline (Final Cut XML)"},
    {SaveFormat::Mlt, "Editor timeline (Shotcut MLT)"},
    {SaveFormat::Chapters, "Chapters of the video (FFmpeg metadata)"},
    {SaveFormat::ContactSheet, "Contact sheet (PNG)"},
};

// path with its extension made ext.
QString withExtension(const QString& path, const char* ext) {
    const QFileInfo file(path);
    const QString folder = file.path() == QStringLiteral(".") && !path.startsWith(u'.')
                               ? QString()
                               : file.path() + u'/';
    return folder + file.completeBaseName() + u'.' + QString::fromLatin1(ext);
}

} // namespace

SaveDialog::SaveDialog(QWidget* parent, std::function<SummarySettings()> current)
    : QDialog(parent), settings(std::move(current)) {
    setWindowTitle(QStringLiteral("Save summary"));
    formats = new QComboBox;
    for (const FormatChoice& choice : kFormats)
        formats->addItem(QString::fromUtf8(choice.label), static_cast<int>(choice.format));
    name = new QLineEdit;
    name->setMinimumWidth(320);
    browseButton = new QPushButton(QStringLiteral("Browse..."));
    auto* nameRow = new QBoxLayout(QBoxLayout::LeftToRight);
    nameRow->addWidget(name, 1);
    nameRow->addWidget(browseButton, 0);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Format"), formats);
    form->addRow(QStringLiteral("File"), nameRow);

    progress = new QProgressBar;
    progress->setRange(0, 1000);
    progress->setValue(0);
    progress->setTextVisible(false);
    status = new QLabel(QStringLiteral("The whole video, at the window's current settings."));
    status->setWordWrap(true);
    save = new QPushButton(QStringLiteral("Save"));
    save->setDefault(true);
    cancel = new QPushButton(QStringLiteral("Cancel"));
    auto* buttons = new QBoxLayout(QBoxLayout::LeftToRight);
    buttons->addStretch(1);
    buttons->addWidget(save);
    buttons->addWidget(cancel);

    auto* layout = new QBoxLayout(QBoxLayout::TopToBottom, this);
    layout->addLayout(form);
    layout->addWidget(progress);
    layout->addWidget(status);
    layout->addLayout(buttons);

    connect(formats, &QComboBox::currentIndexChanged, this, &SaveDialog::formatChosen);
    connect(browseButton, &QPushButton::clicked, this, &SaveDialog::browse);
    connect(save, &QPushButton::clicked, this, &SaveDialog::start);
    connect(cancel, &QPushButton::clicked, this, &SaveDialog::reject);
    connect(&work, &SummarySave::progressed, progress, &QProgressBar::setValue);
    connect(&work, &SummarySave::finished, this, &SaveDialog::ended);
}

void SaveDialog::setVideo(const std::string& path) {
    video = path;
    const QFileInfo file(QString::fromStdString(path));
    const auto format = static_cast<SaveFormat>(formats->currentData().toInt());
    name->setText(file.dir().filePath(file.completeBaseName() + QStringLiteral("-summary.") +
                                      QString::fromLatin1(saveExtension(format))));
}

void SaveDialog::formatChosen() {
    const auto format = static_cast<SaveFormat>(formats->currentData().toInt());
    if (!name->text().isEmpty())
        name->setText(withExtension(name->text(), saveExtension(format)));
}

void SaveDialog::browse() {
    const QString chosen =
        QFileDialog::getSaveFileName(this, QStringLiteral("Save summary as"), name->text());
    if (!chosen.isEmpty())
        name->setText(chosen);
}

void SaveDialog::setBusy(bool busy) {
    formats->setEnabled(!busy);
    name->setEnabled(!busy);
    browseButton->setEnabled(!busy);
    save->setEnabled(!busy);
}

void SaveDialog::start() {
    const QString target = name->text().trimmed();
    if (target.isEmpty() || video.empty()) {
        return ended(false, QStringLiteral("Choose a file to save to."));
    }
    // Renaming a list over the video would lose it.
    if (QFileInfo(target).canonicalFilePath() ==
        QFileInfo(QString::fromStdString(video)).canonicalFilePath()) {
        return ended(false, QStringLiteral("That is the video itself: choose another file."));
    }
    if (QFileInfo::exists(target) &&
        QMessageBox::question(
            this, QStringLiteral("Save summary"),
            QStringLiteral("%1 exists. Replace it?").arg(QFileInfo(target).fileName())) !=
            QMessageBox::Yes)
        return;
    SaveRequest request;
    request.video = video;
    request.target = target.toStdString();
    request.format = static_cast<SaveFormat>(formats->currentData().toInt());
    request.settings = settings();
    request.threads = threads;
    if (!work.start(request))
        return;
    setBusy(true);
    progress->setValue(0);
    status->setText(QStringLiteral("Saving..."));
    cancel->setText(QStringLiteral("Cancel"));
}

void SaveDialog::ended(bool saved, const QString& message) {
    setBusy(false);
    // Once saved there is nothing left to cancel: the button closes.
    if (saved) {
        progress->setValue(progress->maximum());
        cancel->setText(QStringLiteral("Close"));
    }
    status->setText(message);
    emit saveEnded(saved, message);
}

void SaveDialog::reject() {
    // While saving, Cancel (or Esc, or closing) stops the work; the dialog
    // stays to say that nothing was left.
    if (work.running()) {
        work.cancel();
        status->setText(QStringLiteral("Cancelling..."));
        return;
    }
    QDialog::reject();
}

void showSaveDialog(QWidget* window, const std::string& video) {
    auto* dialog = window->findChild<SaveDialog*>();
    if (dialog == nullptr) {
        dialog = new SaveDialog(window, [] { return controlState().settings.snapshot().summary; });
        // The video plays on while it is saved: the save neither takes the
        // cores that playing needs nor holds a frame thread's pictures for
        // each of many cores (about 20 MB a thread at 1080p).
        dialog->setThreads(kPlayerSaveThreads);
    }
    if (!dialog->saving().running())
        dialog->setVideo(video);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}
