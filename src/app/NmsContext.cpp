#include "app/NmsContext.h"

#include "db/IniRoutines.h"
#include "db/TextHelpers.h"
#include "platform/Dialogs.h"
#include "ui/CaptionLabel.h"
#include "ui/FrmMainControls.h"

namespace nms {

QString NmsContext::selectedSection() const
{
    return text::NormalizeMAC(ui.lblElementMAC->caption());
}

QString NmsContext::selectedStoredAddress() const
{
    return ini.ReadFromINI(selectedSection(), QStringLiteral("ip"), iniPath);
}

void NmsContext::reportDatabaseWriteFailure() const
{
    dialogs.critical(kApplicationTitle,
                     {QStringLiteral("An error occured while saving this element info to the "
                                     "local database."),
                      QStringLiteral("Cannot save this element info.")});
}

} // namespace nms
