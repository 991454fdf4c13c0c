#include "gui/about_box.h"

#include <QDialog>
#include <QPushButton>

#include "gui/dialog_template.h"
#include "gui/qt_text.h"
#include "gui/qubopost_icon.h"

using namespace qubopost::resources;

namespace qubopost::gui {

void RunAboutBox(QWidget* parent) {
    QDialog box(parent);
    box.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    box.setFont(DialogFont());
    box.setWindowIcon(QubopostIcon());
    const DialogUnits units = DialogUnits::FromFont(box.font());
    SetUpDialogFrame(box, AboutDialog(), units);
    for (const ControlDef& def : AboutDialog().controls) {
        QWidget* widget = CreateControl(def, &box, units);
        // A picture has no text of its own for a screen reader.
        if (def.kind == ControlKind::Icon) widget->setAccessibleName(Qs(messages::kGuiIconName));
        if (def.kind == ControlKind::OkButton) {
            auto* ok = static_cast<QPushButton*>(widget);
            // The About box's OK is its default button: Enter closes it, as does Esc.
            ok->setDefault(true);
            QObject::connect(ok, &QPushButton::clicked, &box, &QDialog::accept);
        }
    }
    box.exec();
}

}  // namespace qubopost::gui
