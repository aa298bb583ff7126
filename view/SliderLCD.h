#pragma once

// A labelled slider: name, value text and a horizontal slider in one row. The
// slider works in integer steps; `scale` steps make one displayed unit. The
// released state (SliderState) is what the worker threads poll: `value` as of
// the last release, `changed` set on each release until a reader clears it,
// and `dragging` while the user holds the handle.

#include "SharedControls.h"

#include <QBoxLayout>
#include <QPointer>
#include <QString>

class QLabel;
class QSlider;

class SliderLCD : public QBoxLayout, public SliderState {
    Q_OBJECT

public:
    // initialValue and minimum are in slider steps; maximum is in displayed
    // units and becomes trunc(maximum * scale) steps. A fixed slider is 215 x 25.
    SliderLCD(const char* labelText, int initialValue, int minimum, int maximum, bool fixedSlider,
              bool showDecimals, double scale);
    ~SliderLCD() override;

    const QString labelText;
    QBoxLayout* const labelRow;
    QBoxLayout* const sliderRow;
    QSlider* const slider;
    QLabel* const nameLabel;
    QLabel* const valueLabel;
    const double scale;
    const bool showDecimals;

public slots:
    // Rewrites the value text from the slider's position.
    void cambiaValor();
    // The handle was released: value, changed and dragging take the release.
    void estableceValor();
    // The handle was pressed.
    void arrastrado();

private:
    // The widgets this control made, for its destructor: the window may have
    // deleted them already, or never adopted them (a control put in no layout).
    QPointer<QWidget> ownedWidgets[3];
};
