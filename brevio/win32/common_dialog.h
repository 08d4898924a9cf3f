// dlgFile on the platform: the Open and Save dialogs.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "brevio/forms/form_view.h"

namespace brevio::win32 {

// Shows the dialog the request describes, owned by `owner`, and waits. The
// full path of every chosen file; nothing after Cancel or when the dialog
// fails (its CommDlgExtendedError code).
std::optional<std::vector<std::string>> ShowFileDialog(HWND owner,
                                                       const forms::FileDialogRequest& request);

}  // namespace brevio::win32
