#pragma once

#include "update/server_settings.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace verimant::test {

// A small FTP server on 127.0.0.1 that does what a real one will not do on demand: odd
// greetings, refusals, a passive reply naming another address, transfers aborted half way,
// silence. It runs on the test's own thread, served while the client under test waits.
//
// Replies are given per command word; a reply is sent as written (several lines allowed, the last
// line end added when missing), an empty reply means the server keeps quiet. Unlisted commands get
// "502 Not implemented".
class ScriptedFtpServer : public QObject {
    Q_OBJECT
public:
    ScriptedFtpServer();
    ~ScriptedFtpServer() override;

    quint16 port() const { return control_.serverPort(); }
    // Account "tester" with password "secret" on this server.
    ServerSettings settings() const;

    void setGreeting(const QByteArray& text) { greeting_ = text; }
    void setReply(const QByteArray& verb, const QByteArray& text) { replies_[verb] = text; }
    // Replies given once each, in turn, before the verb's standing reply.
    void queueReplies(const QByteArray& verb, const QList<QByteArray>& texts) {
        queued_[verb] += texts;
    }
    // The four address fields of the passive reply; the port is always the data listener's.
    void setPassiveAddress(const QByteArray& fields) { passiveAddress_ = fields; }

    // What RETR delivers: the reply before the data, the data, then, once the data connection is
    // closed, the final reply. With `closeData` off the data connection stays open and the
    // server goes quiet after the data.
    void serveDownload(const QByteArray& data, const QByteArray& finalReply, bool closeData = true,
                       const QByteArray& firstReply = "150 Opening\r\n");

    // Sends every control text one line per `intervalMs`: a reply that drips in.
    void dripControl(int intervalMs);
    // Sends the download's data `pieceBytes` every `intervalMs` instead of all at once.
    void trickleData(qint64 pieceBytes, int intervalMs);
    // RETR starts a stream of up to `maxBytes` bytes of reply lines, fed as fast as the client
    // takes them, into the data connection or, with `onControl`, into the control connection
    // while the data connection stays silent; with `reply` off RETR is never answered.
    // streamedBytes() counts what the client let through.
    void streamDownload(qint64 maxBytes, bool reply, bool onControl = false);
    qint64 streamedBytes() const { return streamed_; }

    // Every command line received, in order, without line ends.
    const QList<QByteArray>& commands() const { return commands_; }
    QList<QByteArray> verbs() const;
    // What APPE received over its data connections.
    const QByteArray& appended() const { return appended_; }
    int connectionCount() const { return connectionCount_; }

private:
    void acceptControl();
    void readCommands();
    void answer(const QByteArray& line);
    void openPassive();
    void acceptData();
    void startDownloadWhenReady();
    void sendTricklePiece();
    void startStream(QTcpSocket* socket);
    void topUpStream();
    void finishDownload();
    void sendNextDripLine();
    void send(const QByteArray& text);

    QTcpServer control_;
    QTcpServer dataListener_;
    QPointer<QTcpSocket> client_;
    QPointer<QTcpSocket> data_;
    QByteArray input_;
    QByteArray greeting_ = "220 Scripted server ready\r\n";
    QHash<QByteArray, QByteArray> replies_;
    QHash<QByteArray, QList<QByteArray>> queued_;
    QByteArray passiveAddress_ = "127,0,0,1";
    QByteArray download_;
    QByteArray finalReply_ = "226 Transfer complete\r\n";
    QByteArray firstReply_ = "150 Opening\r\n";
    bool closeData_ = true;
    bool downloadWanted_ = false;
    bool uploadWanted_ = false;
    QList<QByteArray> commands_;
    QByteArray appended_;
    int connectionCount_ = 0;
    QTimer dripTimer_;
    QList<QByteArray> dripLines_;
    QTimer trickleTimer_;
    qint64 tricklePiece_ = 0;
    qint64 trickleOffset_ = 0;
    qint64 streamLimit_ = 0;
    qint64 streamed_ = 0;
    bool streamOnControl_ = false;
    QPointer<QTcpSocket> streamTarget_;
};

}  // namespace verimant::test
