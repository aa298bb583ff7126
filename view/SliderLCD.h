#pragma once

// A labelled slider: name, value text and a horizontal slider in one row. The
// slider works in integer steps; `scale` steps make one displayed unit.
// `value` is the value the user settled on: at the release of the handle,
// or after a click in the groove, a turn of the wheel or a key, each of
// which also says so with `settled`. A program's setValue settles nothing.

#include <QBoxLayout>
#include <QPointer>
#include <QString>

class QLabel;
class QSlider;

class SliderLCD : public QBoxLayout {
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

    // GUI thread only: the value (in displayed units) last settled on.
    double value = 0.0;

signals:
    void settled(double value);

public slots:
    // Rewrites the value text from the slider's position.
    void cambiaValor();
    // The user settled on the slider's value: value takes it.
    void estableceValor();

private:
    // The widgets this control made, for its destructor: the window may have
    // deleted them already, or never adopted them (a control put in no layout).
    QPointer<QWidget> ownedWidgets[3];
};
