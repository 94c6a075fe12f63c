#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include "FakeClock.h"
#include "ManualTimer.h"
#include "RecordingDialogs.h"
#include "app/NmsContext.h"
#include "db/ElementList.h"
#include "db/ElementSelection.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"
#include "ui/FrmMain.h"
#include "ui/FrmMainControls.h"
#include "ui/PropertiesPanel.h"

class QTreeWidgetItem;

namespace nms::test {

// The main window with the real INI routines on a private nms.ini in a
// temporary directory, and the panel, element list and element selection
// wired into a context as the program wires them. Boxes are recorded and
// timers fire only on request.
class PanelFixture {
public:
    PanelFixture();

    FrmMainControls& ui() { return window.controls(); }
    // Replaces nms.ini with exactly these bytes.
    void writeIni(const QByteArray& bytes);
    void removeIni();
    ManualTimer* timer(const QString& name) const { return timers.timer(name); }
    // The tree node whose key is the given colon-form MAC, or null.
    QTreeWidgetItem* node(const QString& key);
    // Shows the window and makes it active, so focus and mouse input work.
    bool showActive();

    QTemporaryDir dir;
    ManualTimerFactory timers;
    FrmMain window;
    RecordingDialogs dialogs;
    PrivateProfileStore store;
    IniRoutines ini;
    FakeClock clock;
    NmsContext context;
    PropertiesPanel panel;
    ElementList list;
    ElementSelection selection;
};

} // namespace nms::test
