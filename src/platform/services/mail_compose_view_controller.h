#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/weak_ptr.h"
#include "platform/ui/application.h"
#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "platform/ui/text_field.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view_controller.h"

namespace lorvane {

class MailComposeViewController;

// The platform's values.
enum class MailComposeResult { Cancelled = 0, Saved = 1, Sent = 2, Failed = 3 };

// Told how the page ended; the delegate dismisses the page. Optional:
// false means "not implemented".
class MailComposeViewControllerDelegate : public virtual Weakable {
 public:
  virtual ~MailComposeViewControllerDelegate() = default;
  virtual bool mailComposeControllerDidFinish(MailComposeViewController& controller,
                                              MailComposeResult result, const ErrorPtr& error) {
    (void)controller;
    (void)result;
    (void)error;
    return false;
  }
};

// The mail composer: a page with the recipients, a subject field and a text
// view for the message, both typed into, and cancel, save and send buttons.
// It opens with the message ready for typing when the recipients are
// given, under a dark status bar on its light title bar. Sending writes
// the message as an RFC 5322 file into the outbox folder of the documents
// directory (saving writes it into the drafts folder); the desktop's mail
// program, or a person, picks it up from there.
class MailComposeViewController : public ViewController {
 public:
  MailComposeViewController();
  ~MailComposeViewController() override;

  // Whether the platform has a composer at all, and whether it can send
  // (an account is set up). Both hold by default; tests and start-up
  // switch them.
  static bool isAvailable();
  static void setAvailable(bool available);
  static bool canSendMail();
  static void setCanSendMail(bool canSend);
  // The sender written into messages.
  static std::string fromAddress();
  static void setFromAddress(std::string address);
  static std::string outboxDirectory();
  static std::string draftsDirectory();

  MailComposeViewControllerDelegate* mailComposeDelegate() const { return delegate_.get(); }
  void setMailComposeDelegate(MailComposeViewControllerDelegate* d) { delegate_ = d; }

  void setToRecipients(std::vector<std::string> recipients);
  const std::vector<std::string>& toRecipients() const { return toRecipients_; }
  void setSubject(std::string subject);
  // What the user has typed (or the subject set).
  std::string subject() const;
  void setMessageBody(std::string body, bool isHTML = false);
  // What the user has typed (or the body set), as shown.
  std::string messageBody() const;

  // The buttons' actions.
  void cancel();
  void save();
  void send();

  // Where the last save or send wrote its file; empty before that.
  const std::string& lastWrittenPath() const { return lastWrittenPath_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  Label* recipientsLabel() const { return recipientsLabel_.get(); }
  Label* subjectLabel() const { return subjectLabel_.get(); }
  TextField* subjectField() const { return subjectField_.get(); }
  TextView* bodyView() const { return bodyView_.get(); }
  Button* cancelButton() const { return cancelButton_.get(); }
  Button* saveButton() const { return saveButton_.get(); }
  Button* sendButton() const { return sendButton_.get(); }

  // The whole message, CRLF line ends; non-ASCII headers as RFC 2047
  // words, a non-ASCII body in base64.
  static std::string composeMessage(const std::string& from, const std::vector<std::string>& to,
                                    const std::string& subject, const std::string& body,
                                    bool isHTML, double dateSeconds);

 private:
  void finish(MailComposeResult result, ErrorPtr error);
  bool writeMessage(const std::string& folder, ErrorPtr* error);
  void refreshHeaderLabels();

  WeakPtr<MailComposeViewControllerDelegate> delegate_;
  std::vector<std::string> toRecipients_;
  std::string subject_;
  std::string body_;
  bool isHTML_ = false;
  std::string lastWrittenPath_;
  std::shared_ptr<Label> recipientsLabel_;
  std::shared_ptr<Label> subjectLabel_;
  std::shared_ptr<TextField> subjectField_;
  std::shared_ptr<TextView> bodyView_;
  std::optional<StatusBarStyle> statusBarStyleBefore_;
  std::shared_ptr<Button> cancelButton_;
  std::shared_ptr<Button> saveButton_;
  std::shared_ptr<Button> sendButton_;
};

}  // namespace lorvane
