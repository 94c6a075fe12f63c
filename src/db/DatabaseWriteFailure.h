#pragma once

namespace nms {

class Dialogs;

// The one box for a write to nms.ini that did not reach the file: the
// operator must not believe an element's values were kept when they were
// not.
void ReportDatabaseWriteFailure(Dialogs& dialogs);

} // namespace nms
