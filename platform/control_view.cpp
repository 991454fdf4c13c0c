#include "platform/control_view.h"

#include "platform/encoding.h"
#include "platform/field_text.h"

std::string ControlView::GetWindowTextUtf8(int id) { return ToUtf8(GetWindowText(id)); }

void ControlView::SetWindowTextUtf8(int id, std::string_view utf8) { SetWindowText(id, FieldToSjis(utf8)); }
