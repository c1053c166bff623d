#pragma once

#include <QString>

class Frm_ModelEditor;
class QVNProject;
class QWidget;

/// Opens the model editor the way the window program offers it (Tools menu, --edit-model).
namespace QVNModelEditorLauncher {

/// Opens a non-modal editor on the model folder `folder`, previewing against every table of
/// `project` (with its unsaved annotations) or, without a project, of the sample project. The
/// window deletes itself when closed. Null (after a message) when the folder holds no model.
Frm_ModelEditor* Open(const QString& folder, QVNProject* project, QWidget* parent);

} // namespace QVNModelEditorLauncher
