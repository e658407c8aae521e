// Bounds what one document's libxml2 messages put in the log: a document full of errors (a
// server's bad answer, a damaged file) must not fill the disk.
#pragma once

namespace tessera {

class XmlMessageBound {
 public:
  static constexpr int kLogged = 10;
  // True for the first kLogged messages of the document.
  bool Admit() { return ++seen_ <= kLogged; }
  // The messages counted but not logged.
  int left() const { return seen_ > kLogged ? seen_ - kLogged : 0; }

 private:
  int seen_ = 0;
};

// The closing line that names how many messages were left out.
inline constexpr const char* kXmlMessagesLeftOut = "libxml2: %d more messages about this document were not logged\n";

}  // namespace tessera
