#pragma once

#include <optional>

#include <QByteArray>
#include <QObject>
#include <QString>

namespace nms {

struct NmsContext;

// The "Save changes" command: checks the properties panel, asks for
// confirmation, sends the panel as one configuration datagram to the
// element's stored address and waits up to timerRemoteSent for the answer.
class ConfigurationSender : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 kConfigPort = 2976;

    explicit ConfigurationSender(NmsContext& context, QObject* parent = nullptr);

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

    NmsContext& m_ctx;
};

} // namespace nms
