// Sends libxml2's messages about the document being parsed to the store's log instead of the
// standard error stream, for as long as the object lives (on the parsing thread): the first
// XmlMessageBound::kLogged of them, then one line with the number left out.
#pragma once

#include <libxml/xmlerror.h>

#include "tessera/schema/xml_message_bound.h"

namespace tessera {

class ScopedXmlErrorLog {
 public:
  ScopedXmlErrorLog();
  ~ScopedXmlErrorLog();
  ScopedXmlErrorLog(const ScopedXmlErrorLog&) = delete;
  ScopedXmlErrorLog& operator=(const ScopedXmlErrorLog&) = delete;

 private:
  XmlMessageBound bound_;
  xmlStructuredErrorFunc previous_;
  void* previousContext_;
};

}  // namespace tessera
