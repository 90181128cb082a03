#include "platform/open_address.h"

#include <QDesktopServices>
#include <QUrl>

#include <cstdlib>

namespace verimant {

namespace {

// The update server's address carries its password.
constexpr char kSecretVariable[] = "VERIMANT_UPDATE_SERVER";

// The desktop starts the browser (through xdg-open or the like) with this process's environment,
// copied when the program starts, which happens inside the call. Taking the variable out for the
// call keeps it from the browser and whatever that starts in turn. Addresses are opened on the GUI
// thread between network operations, and the variable is read only there; the serial reader thread
// never reads the environment, so no reader sees it missing meanwhile.
class SecretHidden {
public:
    SecretHidden()
        : value_(qgetenv(kSecretVariable)), wasSet_(qEnvironmentVariableIsSet(kSecretVariable)) {
        qunsetenv(kSecretVariable);
    }
    ~SecretHidden() {
        if (wasSet_) {
            qputenv(kSecretVariable, value_);
        }
    }
    SecretHidden(const SecretHidden&) = delete;
    SecretHidden& operator=(const SecretHidden&) = delete;

private:
    QByteArray value_;
    bool wasSet_;
};

}  // namespace

bool openAddress(const QString& url) {
    const QUrl address(url.trimmed(), QUrl::TolerantMode);
    if (!address.isValid() || address.isEmpty()) {
        return false;
    }
    const SecretHidden hidden;
    return QDesktopServices::openUrl(address);
}

}  // namespace verimant
