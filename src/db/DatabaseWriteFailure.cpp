#include "db/DatabaseWriteFailure.h"

#include "platform/Dialogs.h"

namespace nms {

void ReportDatabaseWriteFailure(Dialogs& dialogs)
{
    dialogs.critical(kApplicationTitle,
                     {QStringLiteral("An error occured while saving this element info to the "
                                     "local database."),
                      QStringLiteral("Cannot save this element info.")});
}

} // namespace nms
