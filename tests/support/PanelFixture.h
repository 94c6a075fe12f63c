#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include "ManualTimer.h"
#include "RecordingDialogs.h"
#include "db/ElementList.h"
#include "db/ElementSelection.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"
#include "ui/FrmMain.h"
#include "ui/FrmMainControls.h"
#include "ui/PropertiesPanel.h"
#include "ui/ToolbarMonitoringView.h"
#include "ui/WidgetMeterView.h"
#include "ui/WidgetPanelView.h"
#include "ui/WidgetPingField.h"
#include "ui/WidgetTreeView.h"

class QTreeWidgetItem;

namespace nms::test {

// The main window with the real INI routines on a private nms.ini in a
// temporary directory, and the panel, element list and element selection
// on the window's views, wired as the program wires them. Boxes are recorded and
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
    QString iniPath;
    PropertiesPanel panel;
    WidgetPanelView panelView;
    WidgetTreeView treeView;
    WidgetMeterView meterView;
    WidgetPingField pingField;
    ToolbarMonitoringView monitoringView;
    ElementList list;
    ElementSelection selection;
};

} // namespace nms::test
