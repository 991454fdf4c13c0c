#include "view/control_view.h"

#include "platform/encoding.h"
#include "platform/field_text.h"

using namespace qubopost::platform;

namespace qubopost::view {

std::string ControlView::GetWindowTextUtf8(int id) { return ToUtf8(GetWindowText(id)); }

void ControlView::SetWindowTextUtf8(int id, std::string_view utf8) {
    SetWindowText(id, FieldToSjis(utf8));
}

void ControlView::MessageBoxUtf8(const std::string& utf8) { MessageBox(FieldToSjis(utf8)); }

}  // namespace qubopost::view
