#include "SliderLCD.h"

#include <QFont>
#include <QLabel>
#include <QSlider>

SliderLCD::SliderLCD(const char* text, int initialValue, int minimum, int maximum, bool fixedSlider,
                     bool decimals, double stepsPerUnit)
    : QBoxLayout(QBoxLayout::LeftToRight), labelText(QString::fromUtf8(text)),
      labelRow(new QBoxLayout(QBoxLayout::LeftToRight)),
      sliderRow(new QBoxLayout(QBoxLayout::LeftToRight)), slider(new QSlider(Qt::Horizontal)),
      nameLabel(new QLabel(labelText)), valueLabel(new QLabel(QStringLiteral("000"))),
      scale(stepsPerUnit), showDecimals(decimals), ownedWidgets{slider, nameLabel, valueLabel} {
    slider->setTickPosition(QSlider::TicksBelow);
    // The tick interval gives ten intervals from 0 to the maximum, whatever the minimum.
    const int maximumSteps = static_cast<int>(maximum * scale);
    slider->setMaximum(maximumSteps);
    slider->setMinimum(minimum);
    slider->setTickInterval(static_cast<int>(maximum * scale * 0.1));
    slider->setValue(initialValue);
    if (fixedSlider) {
        slider->setFixedSize(215, 25);
    }
    connect(slider, &QSlider::valueChanged, this, &SliderLCD::cambiaValor);
    connect(slider, &QSlider::sliderReleased, this, &SliderLCD::estableceValor);
    // A step of the groove, the wheel or a key moves the value after the
    // signal: it is settled once the move is made. A drag settles at its
    // release; the wheel's move is a SliderMove too, but with no handle held.
    connect(slider, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove || !slider->isSliderDown())
            QMetaObject::invokeMethod(this, &SliderLCD::estableceValor, Qt::QueuedConnection);
    });

    // Shown literally: "%%" stays two percent signs.
    nameLabel->setTextFormat(Qt::PlainText);
    nameLabel->setFont(QFont(QStringLiteral("Times"), 12, QFont::Bold));
    valueLabel->setFixedSize(55, 20);
    valueLabel->setFont(QFont(QStringLiteral("Arial"), 11, QFont::Bold));

    labelRow->addWidget(nameLabel, 1, Qt::AlignLeft);
    labelRow->addWidget(valueLabel, 0, Qt::AlignRight);
    sliderRow->addWidget(slider, 0);
    addLayout(labelRow, 1);
    addLayout(sliderRow, 0);

    value = slider->value() / scale;
    cambiaValor();
}

SliderLCD::~SliderLCD() {
    for (QPointer<QWidget>& widget : ownedWidgets) {
        if (widget) {
            // Out of our rows first, so that no row keeps an item for a deleted widget.
            labelRow->removeWidget(widget);
            sliderRow->removeWidget(widget);
            delete widget.data();
        }
    }
}

void SliderLCD::cambiaValor() {
    const double shown = slider->value() / scale;
    valueLabel->setText(showDecimals ? QString::asprintf("%6.2f", shown)
                                     : QString::asprintf("%6d", static_cast<int>(shown)));
}

void SliderLCD::estableceValor() {
    value = slider->value() / scale;
    emit settled(value);
}
