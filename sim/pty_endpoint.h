#pragma once

#include <QString>

namespace verimant::sim {

// One plugged-in appearance of the instrument: a pseudo-terminal whose slave side is raw and named
// by the link <portsDir>/COM<n>. The simulator keeps a slave descriptor of its own open, so the
// line settings survive the tool's opens and closes and the master never sees a hang-up while the
// tool has the port closed.
class PtyEndpoint {
public:
    PtyEndpoint() = default;
    ~PtyEndpoint();
    PtyEndpoint(const PtyEndpoint&) = delete;
    PtyEndpoint& operator=(const PtyEndpoint&) = delete;

    // Creates the pty and the link (replacing a stale one). False with a reason on failure.
    bool open(const QString& portsDir, int portNumber, QString* error);
    // Removes the link first, then closes both sides: the tool sees a hang-up.
    void close();

    bool isOpen() const { return master_ >= 0; }
    int masterFd() const { return master_; }
    QString slavePath() const { return slavePath_; }
    QString linkPath() const { return linkPath_; }
    // Bytes written to the line that the tool has not read yet (-1 when closed).
    int unreadByTool() const;

private:
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
    QString linkPath_;
};

// <dir>/COM<n>
QString portLinkPath(const QString& portsDir, int portNumber);

}  // namespace verimant::sim
