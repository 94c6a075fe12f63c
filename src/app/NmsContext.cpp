#include "app/NmsContext.h"

#include "db/IniRoutines.h"
#include "db/TextHelpers.h"
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

} // namespace nms
