#include "tessera/xml/xml_error_log.h"

#include <libxml/globals.h>
#include <libxml/parser.h>

#include "agent/log/log.h"
#include "tessera/schema/xml_file_input.h"

namespace tessera {
namespace {

void LogXmlError(void* context, xmlErrorPtr error) {
  if (error == nullptr) return;
  auto* bound = static_cast<XmlMessageBound*>(context);
  if (bound != nullptr && !bound->Admit()) return;
  const char* message = error->message ? error->message : "\n";
  if (error->level == XML_ERR_WARNING) LogDebug("libxml2: line %d: %s", error->line, message);
  else LogError("libxml2: line %d: %s", error->line, message);
}

}  // namespace

ScopedXmlErrorLog::ScopedXmlErrorLog() {
  EnsureXmlLibrary();
  // The structured error handler is one of libxml2's per-thread settings: this thread only.
  previous_ = xmlStructuredError;
  previousContext_ = xmlStructuredErrorContext;
  xmlSetStructuredErrorFunc(&bound_, LogXmlError);
}

ScopedXmlErrorLog::~ScopedXmlErrorLog() {
  xmlSetStructuredErrorFunc(previousContext_, previous_);
  if (bound_.left() > 0) LogError(kXmlMessagesLeftOut, bound_.left());
}

}  // namespace tessera
