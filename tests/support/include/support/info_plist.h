// Property lists in XML, as a bundle's Info.plist holds them.
#pragma once

#include <string>

// A property list document around body (the root object's XML).
inline std::string xmlPlist(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
         "<plist version=\"1.0\">\n" +
         body + "\n</plist>\n";
}

// The bundle's information dictionary: its name, and "interval" holding intervalXml (a value's
// XML, such as "<real>2.5</real>"; no key for an empty one).
inline std::string infoPlist(const std::string& intervalXml) {
  return xmlPlist("<dict><key>CFBundleName</key><string>Quorvel</string>" +
                  (intervalXml.empty() ? "" : "<key>interval</key>" + intervalXml) + "</dict>");
}
