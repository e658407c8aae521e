#include "tessera/xml/xml_error_log.h"

#include <libxml/globals.h>
#include <libxml/parser.h>

#include "agent/log/log.h"

namespace tessera {
namespace {

void LogXmlError(void* /*context*/, xmlErrorPtr error) {
  if (error == nullptr) return;
  const char* message = error->message ? error->message : "\n";
  if (error->level == XML_ERR_WARNING) LogDebug("libxml2: line %d: %s", error->line, message);
  else LogError("libxml2: line %d: %s", error->line, message);
}

}  // namespace

ScopedXmlErrorLog::ScopedXmlErrorLog() {
  xmlInitParser();
  previous_ = xmlStructuredError;
  previousContext_ = xmlStructuredErrorContext;
  xmlSetStructuredErrorFunc(nullptr, LogXmlError);
}

ScopedXmlErrorLog::~ScopedXmlErrorLog() { xmlSetStructuredErrorFunc(previousContext_, previous_); }

}  // namespace tessera
