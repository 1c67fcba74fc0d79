#pragma once
// The attachment policy of this run, from the settings file: the folders it names, or by
// default the data-link file's folder (where the service keeps its images) and, on a
// desktop, the user's Pictures folder.
#include "mail/mime/attachment_policy.h"
#include "settings/settings.h"

namespace velocast {

mail::AttachmentPolicy attachmentPolicy(const Settings& settings, const QString& dataLinkPath, bool desktop);

}  // namespace velocast
