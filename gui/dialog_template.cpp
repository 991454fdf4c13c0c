#include "gui/dialog_template.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
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

#include "gui/qt_text.h"
#include "gui/qubopost_icon.h"

using namespace qubopost::platform;
using namespace qubopost::resources;

namespace qubopost::gui {

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

// A combo box as a screen reader should hear it: named by its accessible name (or its
// label), with the chosen item as its value. The stock interface on this platform gives
// the chosen item as the name too, so "すべて" was read where "カテゴリ選択" was meant.
class NamedComboBoxAccessible : public QAccessibleWidget {
public:
    explicit NamedComboBoxAccessible(QComboBox* combo)
        : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        switch (t) {
            case QAccessible::Name:
                return Combo()->accessibleName().isEmpty() ? QAccessibleWidget::text(t)
                                                           : Combo()->accessibleName();
            case QAccessible::Value:
                return Combo()->currentText();
            default:
                return QAccessibleWidget::text(t);
        }
    }
    // The drop-down list, then the edit part of an editable box.
    int childCount() const override { return Combo()->lineEdit() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override {
        if (index == 0) return QAccessible::queryAccessibleInterface(Combo()->view());
        if (index == 1 && Combo()->lineEdit())
            return QAccessible::queryAccessibleInterface(Combo()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child) return -1;
        if (child->object() == Combo()->view()) return 0;
        if (Combo()->lineEdit() && child->object() == Combo()->lineEdit()) return 1;
        return -1;
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = Combo()->view()->isVisible();
        state.editable = Combo()->isEditable();
        return state;
    }
    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString& name) override {
        if (name != showMenuAction() && name != pressAction()) return;
        if (Combo()->view()->isVisible()) {
            Combo()->hidePopup();
        } else {
            Combo()->showPopup();
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QComboBox* Combo() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* ComboBoxAccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("QComboBox") && object && object->isWidgetType())
        return new NamedComboBoxAccessible(static_cast<QComboBox*>(object));
    return nullptr;
}

QComboBox* CreateComboBox(QWidget* parent) {
    // Installed once the application exists; factories installed later are asked first.
    static const bool installed = [] {
        QAccessible::installFactory(ComboBoxAccessibleFactory);
        return true;
    }();
    (void)installed;
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
            // Exclusive: a button in a QButtonGroup follows the group, not the common parent,
            // and a screen reader is told it is a radio button (a checkable button that is not
            // exclusive is announced as a check box).
            radio->setAutoExclusive(true);
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

}  // namespace qubopost::gui
