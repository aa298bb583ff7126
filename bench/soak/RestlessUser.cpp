#include "RestlessUser.h"

#include "ControlState.h"
#include "SliderLCD.h"
#include "WindowControl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSlider>
#include <QTimer>
#include <QWidget>

#include <atomic>

namespace {

std::atomic<const char*> last{"none"};

QAbstractButton* buttonNamed(QWidget* window, const QString& text) {
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
        if (button->text() == text)
            return button;
    return nullptr;
}

// A release of the slider at a new position, as a drag would end.
void release(QSlider* slider, int value) {
    slider->setValue(value);
    emit slider->sliderReleased();
}

constexpr const char* kModeButtons[] = {"Play", "Summary", "Pause"};

} // namespace

RestlessUser::RestlessUser(QWidget* w, ControlState& s, unsigned seed,
                           std::vector<std::string> list)
    : window(w), state(s), random(seed), videos(std::move(list)) {}

const char* RestlessUser::lastAction() {
    return last.load();
}

void RestlessUser::scheduleNext() {
    QTimer::singleShot(pick(50, 3000), window, [this] { act(); });
}

void RestlessUser::click(const char* name) {
    if (QAbstractButton* button = buttonNamed(window, name))
        button->click();
}

void RestlessUser::key(int code, int modifiers) {
    QKeyEvent press(QEvent::KeyPress, code, Qt::KeyboardModifiers(modifiers));
    QApplication::sendEvent(window, &press);
    QKeyEvent up(QEvent::KeyRelease, code, Qt::KeyboardModifiers(modifiers));
    QApplication::sendEvent(window, &up);
}

void RestlessUser::act() {
    ++done.actions;
    switch (pick(0, 15)) {
    case 0:
    case 1:
        last = "mode button";
        click(kModeButtons[pick(0, 2)]);
        restarted();
        break;
    case 2:
    case 3:
        last = "seek";
        release(state.positionSlider,
                pick(state.positionSlider->minimum(), state.positionSlider->maximum()));
        restarted();
        break;
    case 4:
    case 5:
        weightBurst(pick(1, 6));
        return;
    case 6: {
        last = "tree slider";
        SliderLCD* tree = pick(0, 1) == 0 ? state.treeDepthCtl : state.treeNodesCtl;
        release(tree->slider, pick(tree->slider->minimum(), tree->slider->maximum()));
        restarted();
        break;
    }
    case 7: {
        last = "check box";
        QCheckBox* boxes[] = {state.automaticControlBox, state.avoidEmptyBufferBox,
                              state.junkSegmentFilterBox, state.shotAwareRankingBox,
                              state.wholeSpeechBox};
        boxes[pick(0, 4)]->click();
        restarted();
        break;
    }
    case 8:
    case 9: {
        last = "speed";
        const int keys[] = {Qt::Key_BracketLeft, Qt::Key_BracketRight, Qt::Key_Backspace};
        key(keys[pick(0, 2)]);
        ++done.speedChanges;
        restarted();
        break;
    }
    case 10:
        // A pause, then pictures one by one, back or on.
        last = "steps in a pause";
        click("Pause");
        restarted();
        steps(pick(1, 8), pick(0, 1) ? Qt::Key_Period : Qt::Key_Comma);
        return;
    case 11:
    case 12: {
        last = "mute or volume";
        const int keys[] = {Qt::Key_M, Qt::Key_Plus, Qt::Key_Minus};
        key(keys[pick(0, 2)]);
        ++done.soundChanges;
        break;
    }
    case 13:
        if (pick(0, 5) == 0 && videos.size() > 1) {
            last = "open another video";
            playing = (playing + 1) % videos.size();
            if (auto* control = window->findChild<WindowControl*>())
                emit control->openRequested(QString::fromStdString(videos[playing]));
            ++done.opens;
            restarted();
        }
        break;
    case 14:
        saveAndCancel();
        break;
    default:
        last = "mode button";
        click(kModeButtons[pick(0, 1)]);
        restarted();
        break;
    }
    scheduleNext();
}

// Several weight releases a few milliseconds apart, as a user trying values.
void RestlessUser::weightBurst(int left) {
    SliderLCD* weights[] = {state.targetLengthCtl, state.lengthWeightCtl, state.continuityWeightCtl,
                            state.redundancyWeightCtl, state.activityWeightCtl};
    SliderLCD* weight = weights[pick(0, 4)];
    last = "weight release";
    release(weight->slider, pick(weight->slider->minimum(), weight->slider->maximum()));
    ++done.actions;
    restarted();
    if (left > 1)
        QTimer::singleShot(pick(5, 80), window, [this, left] { weightBurst(left - 1); });
    else
        scheduleNext();
}

void RestlessUser::steps(int left, int code) {
    key(code);
    ++done.pictureSteps;
    restarted();
    if (left > 1)
        QTimer::singleShot(pick(30, 400), window, [this, left, code] { steps(left - 1, code); });
    else
        scheduleNext();
}

// Ctrl+S, a file name in the soak's own folder, Save, and Cancel a moment
// later while the save runs; then the dialog is closed. A cancelled save
// must leave nothing behind; one that ended before the cancel is removed.
void RestlessUser::saveAndCancel() {
    last = "save cancelled";
    key(Qt::Key_S, Qt::ControlModifier);
    QDialog* dialog = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<QDialog*>(top); found && found->isVisible())
            dialog = found;
    QLineEdit* name = dialog ? dialog->findChild<QLineEdit*>() : nullptr;
    QAbstractButton* save = dialog ? buttonNamed(dialog, "Save") : nullptr;
    if (name == nullptr || save == nullptr || !saves.isValid())
        return;
    const QString target = saves.filePath(QStringLiteral("save-%1.mp4").arg(done.actions));
    name->setText(target);
    saveUnderWay = true;
    save->click();
    QTimer::singleShot(pick(200, 3000), dialog, [this, dialog, target] {
        last = "save cancelled";
        const bool running = !buttonNamed(dialog, "Save")->isEnabled();
        dialog->reject(); // cancels a save under way, else closes
        checkSaveEnded(dialog, target, running, 240);
    });
}

// Once the save has ended (its Save button is back), what it left is looked
// at: nothing may be there after a cancel.
void RestlessUser::checkSaveEnded(QDialog* dialog, const QString& target, bool cancelled,
                                  int triesLeft) {
    if (!buttonNamed(dialog, "Save")->isEnabled() && triesLeft > 0) {
        QTimer::singleShot(250, dialog,
                           [=, this] { checkSaveEnded(dialog, target, cancelled, triesLeft - 1); });
        return;
    }
    if (cancelled && QFileInfo::exists(target))
        ++done.savesLeftBehind; // cancelled, yet a file is there
    QFile::remove(target);
    const QDir folder(saves.path());
    for (const QString& left : folder.entryList(QDir::Files | QDir::Hidden)) {
        ++done.savesLeftBehind; // a temporary file left over
        QFile::remove(folder.filePath(left));
    }
    if (cancelled)
        ++done.savesCancelled;
    saveUnderWay = false;
    dialog->reject();
}
