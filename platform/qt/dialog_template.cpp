#include "platform/qt/dialog_template.h"

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include "platform/qt/qt_text.h"
#include "platform/qt/qubopost_icon.h"

namespace {

// Radio buttons measured as the dialog manager draws them: a 13-pixel circle and a
// narrow gap before the label, which leaves the table's labels their full width.
class RadioButtonStyle : public QProxyStyle {
  public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        switch (metric) {
            case PM_ExclusiveIndicatorWidth:
            case PM_ExclusiveIndicatorHeight:
                return 13;
            case PM_RadioButtonLabelSpacing:
                return 3;
            default:
                return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }
};

// One style per dialog, owned by it (widgets let go of a style when it is destroyed).
QStyle* RadioStyleOf(QWidget* dialog) {
    if (auto* style = dialog->findChild<RadioButtonStyle*>(QString(), Qt::FindDirectChildrenOnly))
        return style;
    auto* style = new RadioButtonStyle;
    style->setParent(dialog);
    return style;
}

QPlainTextEdit* CreateMultiLineEdit(QWidget* parent, bool wrap) {
    auto* edit = new QPlainTextEdit(parent);
    // Enter breaks the line (the edit takes the key itself); Tab moves on, as in a dialog.
    edit->setTabChangesFocus(true);
    edit->setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit->setHorizontalScrollBarPolicy(wrap ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn);
    return edit;
}

QComboBox* CreateComboBox(QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setEditable(true);
    // The list is fixed: typed text stays in the edit part and is never added, and
    // nothing is completed behind the user's back.
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr);
    return combo;
}

}  // namespace

QWidget* CreateControl(const ControlDef& def, QWidget* parent, const DialogUnits& units) {
    const QString text = FromUtf8View(def.text);
    QRect rect = units.Rect(def.x, def.y, def.width, def.height);
    QWidget* widget = nullptr;
    switch (def.kind) {
        case ControlKind::PushButton:
        case ControlKind::OkButton: {
            auto* button = new QPushButton(text, parent);
            button->setAutoDefault(false);
            button->setDefault(false);
            widget = button;
            break;
        }
        case ControlKind::GroupBox:
            widget = new QGroupBox(text, parent);
            widget->setFocusPolicy(Qt::NoFocus);
            break;
        case ControlKind::Label: {
            auto* label = new QLabel(text, parent);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setWordWrap(true);
            widget = label;
            break;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(parent);
            edit->setAlignment(Qt::AlignCenter);
            widget = edit;
            break;
        }
        case ControlKind::MultiEdit:
            widget = CreateMultiLineEdit(parent, false);
            break;
        case ControlKind::WrappingEdit:
            widget = CreateMultiLineEdit(parent, true);
            break;
        case ControlKind::RadioButton: {
            auto* radio = new QRadioButton(text, parent);
            // Exclusivity comes from the dialog's radio groups, not from the common parent.
            radio->setAutoExclusive(false);
            radio->setStyle(RadioStyleOf(parent));
            widget = radio;
            break;
        }
        case ControlKind::ComboBox: {
            widget = CreateComboBox(parent);
            // The table's height is that of the dropped-down list; the closed box is one
            // line high.
            rect.setHeight(widget->sizeHint().height());
            break;
        }
        case ControlKind::ProgressBar: {
            auto* progress = new QProgressBar(parent);
            progress->setTextVisible(false);
            progress->setRange(0, 100);
            progress->setValue(0);
            widget = progress;
            break;
        }
        case ControlKind::Icon: {
            auto* label = new QLabel(parent);
            label->setPixmap(QubopostIcon().pixmap(kIconControlSize, kIconControlSize));
            rect.setSize(QSize(kIconControlSize, kIconControlSize));
            widget = label;
            break;
        }
    }
    widget->setGeometry(rect);
    return widget;
}

void SetUpDialogFrame(QDialog& dialog, const DialogDef& def, const DialogUnits& units) {
    dialog.setWindowTitle(FromUtf8View(def.caption));
    dialog.setFixedSize(units.X(def.width), units.Y(def.height));
}
