#pragma once

// The dialog that saves the whole video's summary at the window's current
// settings: a form, a file name, then a progress bar with Cancel while the
// work runs (see SummarySave). It stays open on a failure, saying why;
// once the summary is saved, Cancel reads Close.

#include "SummarySave.h"

#include <QDialog>

#include <functional>
#include <string>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

class SaveDialog : public QDialog {
    Q_OBJECT

public:
    // settings: read when Save is pressed, so that the save takes the
    // settings in force then.
    SaveDialog(QWidget* parent, std::function<SummarySettings()> settings);

    // The video to save the summary of; the file name follows it.
    void setVideo(const std::string& path);
    // Decoding and encoding threads of the saves; 0 for one a core, at most four.
    void setThreads(int threads) { this->threads = threads; }

    QComboBox* formatBox() const { return formats; }
    QLineEdit* nameEdit() const { return name; }
    QPushButton* saveButton() const { return save; }
    QPushButton* cancelButton() const { return cancel; }
    QLabel* statusLabel() const { return status; }
    const SummarySave& saving() const { return work; }

signals:
    // A save ended, or was refused: saved, and what the dialog said.
    void saveEnded(bool saved, const QString& message);

protected:
    void reject() override;

private:
    void start();
    void ended(bool saved, const QString& message);
    void formatChosen();
    void browse();
    void setBusy(bool busy);

    std::function<SummarySettings()> settings;
    std::string video;
    int threads = 0;
    SummarySave work;
    QComboBox* formats;
    QLineEdit* name;
    QPushButton* browseButton;
    QProgressBar* progress;
    QLabel* status;
    QPushButton* save;
    QPushButton* cancel;
};

// Shows the window's save dialog (made on first use, at the settings the
// window publishes) for the video playing; a save under way stays as it is.
void showSaveDialog(QWidget* window, const std::string& video);
