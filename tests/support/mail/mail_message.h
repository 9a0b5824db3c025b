#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace lorvane::testing {

// A written mail read back as its recipient's program would: headers
// unfolded, encoded words and a base64 body decoded, CRLF as "\n".
struct MailMessage {
  std::map<std::string, std::string> headers;  // raw values, unfolded
  std::string subject;                         // decoded
  std::string body;                            // decoded

  static std::optional<MailMessage> parse(std::string_view message);
};

std::string decodeBase64(std::string_view text);

inline std::string decodeBase64(std::string_view text) {
  auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (char c : text) {
    int v = value(c);
    if (v < 0) continue;  // line breaks and padding
    bits = bits << 6 | unsigned(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += char((bits >> count) & 0xFF);
    }
  }
  return out;
}

inline std::string withoutCR(std::string_view text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

inline std::optional<MailMessage> MailMessage::parse(std::string_view message) {
  const std::size_t split = message.find("\r\n\r\n");
  if (split == std::string_view::npos) return std::nullopt;
  MailMessage mail;
  std::string last;
  std::string_view head = message.substr(0, split + 2);
  for (std::size_t at = 0; at < head.size();) {
    std::size_t end = head.find("\r\n", at);
    std::string_view line = head.substr(at, end - at);
    at = end + 2;
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
      if (last.empty()) return std::nullopt;
      mail.headers[last] += std::string(line);  // a folded line goes on
      continue;
    }
    std::size_t colon = line.find(": ");
    if (colon == std::string_view::npos) return std::nullopt;
    last = std::string(line.substr(0, colon));
    mail.headers[last] = std::string(line.substr(colon + 2));
  }
  // Encoded words, with the space between adjacent ones dropped.
  const std::string& subject = mail.headers["Subject"];
  for (std::size_t at = 0; at < subject.size();) {
    std::size_t word = subject.find("=?UTF-8?B?", at);
    if (word == std::string::npos) {
      mail.subject += subject.substr(at);
      break;
    }
    std::string between = subject.substr(at, word - at);
    if (between.find_first_not_of(" \t") != std::string::npos) mail.subject += between;
    std::size_t close = subject.find("?=", word + 10);
    if (close == std::string::npos) return std::nullopt;
    mail.subject += decodeBase64(subject.substr(word + 10, close - word - 10));
    at = close + 2;
  }
  std::string_view body = message.substr(split + 4);
  mail.body = mail.headers["Content-Transfer-Encoding"] == "base64" ? withoutCR(decodeBase64(body))
                                                                    : withoutCR(body);
  return mail;
}

}  // namespace lorvane::testing
