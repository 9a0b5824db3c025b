#include "platform/services/mail_compose_view_controller.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>

#include "platform/foundation/date.h"
#include "platform/foundation/file_manager.h"
#include "platform/ui/application.h"
#include "platform/ui/font.h"
#include "platform/ui/screen.h"

namespace lorvane {
namespace {

std::atomic<bool> available{true};
std::atomic<bool> canSend{true};

std::mutex& fromMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string& fromStorage() {
  static std::string address = "lorvane-user@localhost";
  return address;
}

bool isASCII(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

// Header values are one line: a line break in them would start a header
// of the sender's choosing.
std::string oneLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) out += (c == '\r' || c == '\n') ? ' ' : c;
  return out;
}

std::string base64(std::string_view bytes) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    unsigned v = (unsigned char)bytes[i] << 16 | (unsigned char)bytes[i + 1] << 8 |
                 (unsigned char)bytes[i + 2];
    out += alphabet[v >> 18 & 63];
    out += alphabet[v >> 12 & 63];
    out += alphabet[v >> 6 & 63];
    out += alphabet[v & 63];
  }
  if (i < bytes.size()) {
    unsigned v = (unsigned char)bytes[i] << 16;
    if (i + 1 < bytes.size()) v |= (unsigned char)bytes[i + 1] << 8;
    out += alphabet[v >> 18 & 63];
    out += alphabet[v >> 12 & 63];
    out += i + 1 < bytes.size() ? alphabet[v >> 6 & 63] : '=';
    out += '=';
  }
  return out;
}

// Non-ASCII header text as RFC 2047 encoded words: each at most 75
// characters long, on folded lines, never splitting a UTF-8 character.
std::string headerText(std::string_view text) {
  std::string line = oneLine(text);
  if (isASCII(line)) return line;
  constexpr std::size_t kBytesPerWord = 45;  // 60 base64 characters
  std::string out;
  for (std::size_t at = 0; at < line.size();) {
    std::size_t end = std::min(line.size(), at + kBytesPerWord);
    while (end < line.size() && end > at && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80)
      --end;
    if (end == at) end = std::min(line.size(), at + kBytesPerWord);
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + base64(std::string_view(line).substr(at, end - at)) + "?=";
    at = end;
  }
  return out;
}

std::string crlfLines(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 40);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "\r\n";
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

bool hasLongLine(std::string_view text) {
  std::size_t length = 0;
  for (char c : text) {
    length = c == '\n' ? 0 : length + 1;
    if (length > 998) return true;
  }
  return false;
}

double contentTop() {
  if (Device::currentDevice().systemVersionNumber() < 7.0) return 0;
  return Application::sharedApplication().statusBarFrame().size.height;
}

std::shared_ptr<View> separator(double y, double width) {
  auto line = View::make<View>(Rect{10, y, width - 10, 0.5});
  line->setBackgroundColor(Color::white(0.8));
  return line;
}

std::shared_ptr<Button> barButton(const std::string& title, Rect frame) {
  auto button = Button::buttonWithType(ButtonType::System);
  button->setTitle(title, ControlStateNormal);
  button->setTitleColor(Color::rgb255(0, 122, 255), ControlStateNormal);
  button->setFrame(frame);
  return button;
}

}  // namespace

MailComposeViewController::MailComposeViewController() = default;
MailComposeViewController::~MailComposeViewController() = default;

bool MailComposeViewController::isAvailable() {
  return available.load();
}
void MailComposeViewController::setAvailable(bool a) {
  available.store(a);
}
bool MailComposeViewController::canSendMail() {
  return canSend.load();
}
void MailComposeViewController::setCanSendMail(bool c) {
  canSend.store(c);
}

std::string MailComposeViewController::fromAddress() {
  std::lock_guard lock(fromMutex());
  return fromStorage();
}

void MailComposeViewController::setFromAddress(std::string address) {
  std::lock_guard lock(fromMutex());
  fromStorage() = std::move(address);
}

std::string MailComposeViewController::outboxDirectory() {
  return appendingPathComponent(FileManager::defaultManager().documentsDirectory(), "Outbox");
}

std::string MailComposeViewController::draftsDirectory() {
  return appendingPathComponent(FileManager::defaultManager().documentsDirectory(), "Drafts");
}

void MailComposeViewController::setToRecipients(std::vector<std::string> recipients) {
  toRecipients_ = std::move(recipients);
  refreshHeaderLabels();
}

void MailComposeViewController::setSubject(std::string subject) {
  subject_ = std::move(subject);
  if (subjectField_) subjectField_->setText(subject_);
}

std::string MailComposeViewController::subject() const {
  return subjectField_ ? subjectField_->text() : subject_;
}

void MailComposeViewController::setMessageBody(std::string body, bool isHTML) {
  body_ = std::move(body);
  isHTML_ = isHTML;
  if (bodyView_) bodyView_->setText(body_);
}

std::string MailComposeViewController::messageBody() const {
  return bodyView_ ? bodyView_->text() : body_;
}

void MailComposeViewController::viewDidLoad() {
  const Rect screen = Screen::mainScreen().bounds();
  const double top = contentTop();
  const double width = screen.width();
  view()->setBackgroundColor(Color::whiteColor());

  // The title bar reaches under the status bar, which is drawn dark on it.
  auto bar = View::make<View>(Rect{0, 0, width, top + 44});
  bar->setBackgroundColor(Color::white(0.96));
  view()->addSubview(bar);
  cancelButton_ = barButton("取消", {5, top + 7, 60, 30});
  cancelButton_->addTarget(
      this, [this](Control&) { cancel(); }, ControlEventTouchUpInside);
  bar->addSubview(cancelButton_);
  auto title = View::make<Label>(Rect{70, top, width - 200, 44});
  title->setText("写邮件");
  title->setTextAlignment(TextAlignment::Center);
  title->setFont(Font::boldSystemFontOfSize(17));
  bar->addSubview(title);
  saveButton_ = barButton("存草稿", {width - 130, top + 7, 60, 30});
  saveButton_->addTarget(
      this, [this](Control&) { save(); }, ControlEventTouchUpInside);
  bar->addSubview(saveButton_);
  sendButton_ = barButton("发送", {width - 65, top + 7, 60, 30});
  sendButton_->addTarget(
      this, [this](Control&) { send(); }, ControlEventTouchUpInside);
  bar->addSubview(sendButton_);
  view()->addSubview(separator(top + 44, width));

  recipientsLabel_ = View::make<Label>(Rect{10, top + 44, width - 20, 34});
  recipientsLabel_->setFont(Font::systemFontOfSize(15));
  view()->addSubview(recipientsLabel_);
  view()->addSubview(separator(top + 78, width));
  subjectLabel_ = View::make<Label>(Rect{10, top + 78, 44, 34});
  subjectLabel_->setFont(Font::systemFontOfSize(15));
  subjectLabel_->setText("主题:");
  subjectLabel_->setTextColor(Color::gray());
  view()->addSubview(subjectLabel_);
  subjectField_ = View::make<TextField>(Rect{50, top + 78, width - 55, 34});
  subjectField_->setFont(Font::systemFontOfSize(15));
  subjectField_->setText(subject_);
  view()->addSubview(subjectField_);
  view()->addSubview(separator(top + 112, width));
  refreshHeaderLabels();

  const double bodyTop = top + 113;
  bodyView_ = View::make<TextView>(Rect{5, bodyTop, width - 10, screen.height() - bodyTop - 5});
  bodyView_->setFont(Font::systemFontOfSize(15));
  bodyView_->setEditable(true);
  bodyView_->setText(body_);
  view()->addSubview(bodyView_);
}

void MailComposeViewController::viewWillAppear(bool animated) {
  ViewController::viewWillAppear(animated);
  Application& app = Application::sharedApplication();
  if (!statusBarStyleBefore_) statusBarStyleBefore_ = app.statusBarStyle();
  app.setStatusBarStyle(StatusBarStyle::Default, animated);
}

void MailComposeViewController::viewDidAppear(bool animated) {
  ViewController::viewDidAppear(animated);
  // With the address given, the message is what is left to write.
  if (!toRecipients_.empty() && bodyView_ && !TextInput::firstResponder())
    bodyView_->becomeFirstResponder();
}

void MailComposeViewController::viewWillDisappear(bool animated) {
  ViewController::viewWillDisappear(animated);
  if (TextInput* input = TextInput::firstResponder();
      input && input->inputView().isDescendantOfView(view().get()))
    input->resignFirstResponder();
  if (statusBarStyleBefore_)
    Application::sharedApplication().setStatusBarStyle(*statusBarStyleBefore_, animated);
  statusBarStyleBefore_.reset();
}

void MailComposeViewController::refreshHeaderLabels() {
  if (recipientsLabel_) {
    std::string to;
    for (const auto& address : toRecipients_) to += (to.empty() ? "" : ", ") + address;
    recipientsLabel_->setText("收件人: " + to);
  }
}

std::string MailComposeViewController::composeMessage(const std::string& from,
                                                      const std::vector<std::string>& to,
                                                      const std::string& subject,
                                                      const std::string& body, bool isHTML,
                                                      double dateSeconds) {
  std::string recipients;
  for (const auto& address : to) recipients += (recipients.empty() ? "" : ", ") + oneLine(address);
  char id[32];
  std::snprintf(id, sizeof id, "%llx", static_cast<unsigned long long>(dateSeconds * 1000));

  std::string message;
  message += "Date: " + formatDate(dateSeconds, "EEE, dd MMM yyyy HH:mm:ss '+0000'", 0) + "\r\n";
  message += "From: " + oneLine(from) + "\r\n";
  message += "To: " + recipients + "\r\n";
  message += "Subject: " + headerText(subject) + "\r\n";
  message += "Message-ID: <" + std::string(id) + "." + base64(recipients).substr(0, 8) +
             "@lorvane.local>\r\n";
  message += "MIME-Version: 1.0\r\n";
  message +=
      std::string("Content-Type: ") + (isHTML ? "text/html" : "text/plain") + "; charset=utf-8\r\n";
  const std::string text = crlfLines(body);
  if (isASCII(text) && !hasLongLine(body)) {
    message += "Content-Transfer-Encoding: 7bit\r\n\r\n" + text;
    if (!text.ends_with("\r\n")) message += "\r\n";
    return message;
  }
  message += "Content-Transfer-Encoding: base64\r\n\r\n";
  const std::string encoded = base64(text);
  for (std::size_t i = 0; i < encoded.size(); i += 76) message += encoded.substr(i, 76) + "\r\n";
  return message;
}

bool MailComposeViewController::writeMessage(const std::string& folder, ErrorPtr* error) {
  const FileManager& files = FileManager::defaultManager();
  if (!files.createDirectory(folder, true, error)) return false;
  const double now = currentDate();
  const std::string stamp = formatDate(now, "yyyyMMdd-HHmmss", 0);
  std::string path;
  for (int n = 1;; ++n) {
    path = appendingPathComponent(folder, stamp + "-" + std::to_string(n) + ".eml");
    if (!files.fileExists(path)) break;
  }
  const std::string message =
      composeMessage(fromAddress(), toRecipients_, subject(), messageBody(), isHTML_, now);
  if (!files.writeAtomically(path, message, error)) return false;
  lastWrittenPath_ = path;
  return true;
}

void MailComposeViewController::cancel() {
  finish(MailComposeResult::Cancelled, nullptr);
}

void MailComposeViewController::save() {
  ErrorPtr error;
  if (writeMessage(draftsDirectory(), &error)) {
    finish(MailComposeResult::Saved, nullptr);
  } else {
    finish(MailComposeResult::Failed, error);
  }
}

void MailComposeViewController::send() {
  ErrorPtr error;
  if (toRecipients_.empty()) {
    finish(MailComposeResult::Failed,
           Error::make(kCocoaErrorDomain, 1, "The message has no recipient"));
    return;
  }
  if (writeMessage(outboxDirectory(), &error)) {
    finish(MailComposeResult::Sent, nullptr);
  } else {
    finish(MailComposeResult::Failed, error);
  }
}

void MailComposeViewController::finish(MailComposeResult result, ErrorPtr error) {
  if (delegate_ && delegate_->mailComposeControllerDidFinish(*this, result, error)) return;
  // Nobody took the result: the page must not stay up with no way out.
  if (presentingViewController()) dismissViewControllerAnimated(true);
}

}  // namespace lorvane
