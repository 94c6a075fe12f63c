#pragma once

#include <optional>

#include <QByteArray>
#include <QObject>
#include <QString>

namespace nms {

class Dialogs;
class ElementPanelView;
class IniRoutines;
class Timer;
class UdpClient;

// The "Save changes" command: checks the properties panel, asks for
// confirmation, sends the panel as one configuration datagram to the
// element's stored address and waits up to the response timer
// (timerRemoteSent) for the answer.
class ConfigurationSender : public QObject {
    Q_OBJECT
public:
    ConfigurationSender(Dialogs& dialogs, IniRoutines& ini, const QString& iniPath, UdpClient& udp,
                        ElementPanelView& panel, Timer& responseTimer, QObject* parent = nullptr);

    void SaveConfiguration();
    void SendConfiguration();

private:
    // The first failing check's message, or nothing when all pass.
    std::optional<QString> firstFailedCheck() const;
    bool isElementSelected() const;
    bool areAudioFieldsSelected() const;
    bool isNameGiven() const;
    bool areAddressesValid() const;
    bool isDatabasePresent() const;
    bool confirmSend();
    std::optional<QByteArray> buildPacket() const;
    void refuseSave(const QString& message);
    void restartResponseTimer();
    void onResponseTimeout();
    void reportTimeout(quint64 sendNumber);

    Dialogs& m_dialogs;
    IniRoutines& m_ini;
    const QString m_iniPath;
    UdpClient& m_udp;
    ElementPanelView& m_panel;
    Timer& m_responseTimer;
    // When the answer to the latest send was due, on the endpoint's clock,
    // and which send that was.
    qint64 m_answerDueUs = 0;
    quint64 m_sendNumber = 0;
    quint64 m_verdictWaitingFor = 0;
};

} // namespace nms
