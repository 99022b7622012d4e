#pragma once
// The Engine's configuration templates turned into their working files inside the staged
// ProgramData root; the templates stay beside them.

#include <string>

#include "platform/types.h"

namespace vellmora {

class InstallerEngine;

// Copies source over destination, up to three attempts 250 ms apart, until the destination is a
// regular file. On failure *error_text is "<label> (Windows error N: <text>)." and one line is
// logged.
bool MaterializeStagedTemplate(const platform::Path& source, const platform::Path& destination,
                               const std::string& label, std::string* error_text,
                               InstallerEngine& engine);

// "pellucador.conf.template" as "VellmoraOX.conf", KolvGlobal.xml.template as KolvGlobal.xml and
// KolvGlobal.xml-prev, QorMetaData.template.json as VlmMetaData.json, in that order; stops at the
// first failure with its error text.
bool MaterializeEngineTemplates(const platform::Path& staged_data_root, std::string* error_text,
                                InstallerEngine& engine);

}  // namespace vellmora
