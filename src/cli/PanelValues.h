#pragma once

#include <array>
#include <optional>

#include <QString>

#include "db/ElementPanelView.h"
#include "protocol/ConfigurationPacket.h"

namespace nms::cli {

class StoredElement;

// What the window's properties panel holds for one element once it has been
// selected: the stored record read by the selection's rules, then edited.
// A configuration is built from it and checked as the save command checks
// the panel, and the window's confirmation reads and updates it through the
// panel's interface, as it does the window's widgets.
class PanelValues : public ElementPanelView {
public:
    QString section;
    QString name;
    QString ip;
    QString mask;
    QString gw;
    QString remote;
    int input = 0;
    int type = 0;
    int tx = 0;
    int bound = 0;
    int role = 0;
    // Decoder only.
    int sfn = 0;
    int buf = 1;
    int att = 255;
    int sdm = 0;
    int sdl = 37;
    int sdt = 43;

    bool isDecoder() const { return role == 2; }

    // The selection's reading of a record: a record of 18 or more keys, or
    // one whose audio choices, bound encoder or role are no whole numbers in
    // range, is refused (CliError) with the selection's text. A decoder
    // value that is missing or out of range takes its default.
    static PanelValues fromRecord(const StoredElement& element, int encoderCount,
                                  int refusalStatus);

    // The message of the first of the save command's checks that fails.
    std::optional<QString> firstFailedCheck(const QString& databasePath) const;
    ConfigurationPacket::Fields packetFields() const;

    QString text(Text field) const override;
    void setText(Text field, const QString& value) override;
    int listIndex(List list) const override;
    int listCount(List list) const override;
    void setListIndex(List list, int index) override;
    int scrollValue(Scroll bar) const override;
    int scrollMinimum(Scroll bar) const override;
    int scrollMaximum(Scroll bar) const override;
    void setScrollValue(Scroll bar, int value) override;
    QString caption(Caption field) const override;
    void setCaption(Caption field, const QString& value) override;
    int sfnOption() const override { return sfn; }
    void setSfnOption(int option) override { sfn = option; }
    void clear() override;

private:
    // The member behind each field, const or not as the panel is.
    template <typename Self> static auto& textField(Self& self, Text field);
    template <typename Self> static auto& listField(Self& self, List list);
    template <typename Self> static auto& scrollField(Self& self, Scroll bar);

    int m_encoderCount = 0;
    // Element type, MAC, serial number, version, in the order of Caption.
    std::array<QString, 4> m_captions;
};

} // namespace nms::cli
