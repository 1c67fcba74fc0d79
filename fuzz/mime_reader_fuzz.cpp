// libFuzzer target for the reader of mailbox messages: any bytes go in, and everything a caller
// may ask of the result (fields as text, bodies decoded, the delivery report, the auto-reply
// check) is asked, so that a fault anywhere on those paths shows under the sanitizers.
#include <cstddef>
#include <cstdint>

#include "mail/mime/delivery_report.h"
#include "mail/mime/mime_reader.h"

namespace {

using namespace velocast::mail;

void visit(const MimeEntity& entity) {
    for (const HeaderField& field : entity.fields) (void)decodeHeaderText(field.value);
    (void)entity.body();
    for (const MimeEntity& part : entity.parts) visit(part);
    for (const MimeEntity& inner : entity.enclosed) visit(inner);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray raw(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const MimeMessage message = readMimeMessage(raw);
    visit(message.root);
    (void)isAutoReply(message.root);
    if (const auto report = readDeliveryReport(message, raw))
        for (const RecipientStatus& r : report->recipients) (void)classifyRecipient(r.action, r.status);
    (void)readContentType(raw.left(4096));
    return 0;
}
