#include "link/ReceiveAssembler.h"

namespace {
constexpr char kStx = 2;
constexpr char kEtx = 3;
constexpr char kCr = 13;
} // namespace

void ReceiveAssembler::append(char byte)
{
    if (m_rxLine.size() < kMaxLineBytes)
        m_rxLine.append(byte);
}

QList<QByteArray> ReceiveAssembler::feed(QByteArrayView bytes, Framing framing)
{
    QList<QByteArray> complete;
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (framing == Framing::Line) {
            if (code >= 32) {
                append(byte);
            } else if (byte == kCr && !m_rxLine.isEmpty()) {
                complete.append(std::exchange(m_rxLine, {}));
            }
            continue;
        }
        if (byte == kStx) {
            m_rxLine.clear();
        } else if (byte == kEtx) {
            if (!m_rxLine.isEmpty())
                complete.append(m_rxLine);
            m_rxLine.clear();
            // The adapter acknowledges one frame per event; anything trailing it is noise.
            break;
        } else {
            append(byte);
        }
    }
    return complete;
}
