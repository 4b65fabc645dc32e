#include "mail/delivery_report.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace corvex {
namespace {

// Postfix's bounce of an unknown user, as a real Postfix wrote it (RET=HDRS, ENVID).
const char kPostfix[] = R"(Return-Path: <>
From: Mail Delivery System <MAILER-DAEMON@postfix.corvex.test>
Subject: Undelivered Mail Returned to Sender
To: dte@laceiba.example
MIME-Version: 1.0
Content-Type: multipart/report; report-type=delivery-status;
	boundary="46275A72673.1796887975/postfix.corvex.test"
Message-Id: <20261210073255.5FEF3A72267@postfix.corvex.test>

This is a MIME-encapsulated message.

--46275A72673.1796887975/postfix.corvex.test
Content-Description: Notification
Content-Type: text/plain; charset=utf-8

<nadie@laceiba.example>: unknown user: "nadie@laceiba.example"

--46275A72673.1796887975/postfix.corvex.test
Content-Description: Delivery report
Content-Type: message/delivery-status

Reporting-MTA: dns; postfix.corvex.test
Original-Envelope-Id: CF-318/abc+2D123
Arrival-Date: Thu, 10 Dec 2026 07:32:55 +0000 (UTC)

Final-Recipient: rfc822; nadie@laceiba.example
Original-Recipient: rfc822;nadie@laceiba.example
Action: failed
Status: 5.1.1
Diagnostic-Code: X-Postfix; unknown user: "nadie@laceiba.example"

--46275A72673.1796887975/postfix.corvex.test
Content-Description: Undelivered Message Headers
Content-Type: text/rfc822-headers

From: dte@laceiba.example
To: nadie@laceiba.example
Message-ID: <abc-123@laceiba.example>

--46275A72673.1796887975/postfix.corvex.test--
)";

// Exchange Online's non-delivery report: the texts first, the report with
// Exchange's own fields, the whole message returned.
const char kExchange[] =
    R"(From: Microsoft Outlook <MicrosoftExchange329e71ec88ae4615bbc36ab6ce41109e@acme.onmicrosoft.com>
To: <dte@acme.com.sv>
Subject: Undeliverable: =?utf-8?q?Env=C3=ADo_de_DTE?=
Content-Type: multipart/report; report-type="delivery-status";
	boundary="_000_NDR_"
Message-ID: <ndr-1@SJ0PR.namprd.prod.outlook.com>

--_000_NDR_
Content-Type: multipart/alternative; boundary="_001_ALT_"

--_001_ALT_
Content-Type: text/plain; charset="us-ascii"

Your message to compras@lospinos.example couldn't be delivered.

--_001_ALT_
Content-Type: text/html; charset="us-ascii"

<html><body>couldn't be delivered</body></html>

--_001_ALT_--

--_000_NDR_
Content-Type: message/delivery-status

Reporting-MTA: dns;SJ0PR.namprd.prod.outlook.com
Received-From-MTA: dns;SJ0PR.namprd.prod.outlook.com
Arrival-Date: Thu, 10 Dec 2026 07:40:01 +0000

Original-Recipient: rfc822;compras@lospinos.example
Final-Recipient: rfc822;compras@lospinos.example
Action: failed
Status: 5.1.10
Diagnostic-Code: smtp;550 5.1.10 RESOLVER.ADR.RecipientNotFound; Recipient
 compras@lospinos.example not found by SMTP address lookup
X-Display-Name: compras@lospinos.example

--_000_NDR_
Content-Type: message/rfc822

From: <dte@acme.com.sv>
To: <compras@lospinos.example>
Subject: =?utf-8?q?Env=C3=ADo_de_DTE?=
Message-ID: <f00d-1@acme.com.sv>
MIME-Version: 1.0
Content-Type: text/plain

Estimado (a): ...

--_000_NDR_--
)";

// Gmail's: the failed recipient also in X-Failed-Recipients, the report
// base64-encoded, the headers returned.
const char kGmail[] = R"(From: Mail Delivery Subsystem <mailer-daemon@googlemail.com>
To: dte@laceiba.example
X-Failed-Recipients: ana.perez@gmail.com
Subject: Delivery Status Notification (Failure)
MIME-Version: 1.0
Content-Type: Multipart/Report; Report-Type=Delivery-Status; Boundary=gmail42
Message-ID: <gm-1@mx.google.com>

--gmail42
Content-Type: text/plain; charset="UTF-8"

Address not found
--gmail42
Content-Type: message/delivery-status
Content-Transfer-Encoding: base64

UmVwb3J0aW5nLU1UQTogZG5zOyBnb29nbGVtYWlsLmNvbQoKRmluYWwtUmVjaXBpZW50OiBy
ZmM4MjI7IGFuYS5wZXJlekBnbWFpbC5jb20KQWN0aW9uOiBmYWlsZWQKU3RhdHVzOiA1LjEu
MQpEaWFnbm9zdGljLUNvZGU6IHNtdHA7IDU1MC01LjEuMSBUaGUgZW1haWwgYWNjb3VudCB0
aGF0IHlvdSB0cmllZCB0byByZWFjaCBkb2VzIG5vdCBleGlzdC4K
--gmail42
Content-Type: text/rfc822-headers

Message-ID: <gm-ours@laceiba.example>
Subject: Envio de DTE
--gmail42--
)";

// Exim's text form: no report part, the failed address in a header.
const char kExim[] = R"(From: Mail Delivery System <Mailer-Daemon@mx.example.net>
To: dte@laceiba.example
Subject: Mail delivery failed: returning message to sender
X-Failed-Recipients: pedro@example.net
Message-Id: <exim-1@mx.example.net>

This message was created automatically by mail delivery software.

A message that you sent could not be delivered to one or more of its
recipients. This is a permanent error. The following address(es) failed:

  pedro@example.net
    SMTP error from remote mail server after RCPT TO:<pedro@example.net>:
    550 5.1.1 <pedro@example.net>: Recipient address rejected: User unknown

------ This is a copy of the message, including all the headers. ------

From: dte@laceiba.example
Message-ID: <exim-ours@laceiba.example>
)";

QByteArray report(const char* recipientBlock, const char* type = "message/delivery-status") {
  return QByteArray(
             "Content-Type: multipart/report; report-type=delivery-status; boundary=b\n"
             "Message-ID: <r@x>\n\n--b\nContent-Type: ") +
         type + "\n\nReporting-MTA: dns; x\nOriginal-Envelope-Id: FA-1/u\n\n" + recipientBlock + "\n--b--\n";
}

QByteArray withCrLf(QByteArray text) { return text.replace("\n", "\r\n"); }

struct ReportCase {
  const char* name;
  QByteArray message;
  bool isReport;
  const char* envelopeId;
  const char* originalMessageId;
  /// "recipient status" of each failure.
  QStringList failures;
  const char* problem = "";
  const char* diagnosticHolds = "";
};

void PrintTo(const ReportCase& c, std::ostream* out) { *out << c.name; }

const ReportCase kCases[] = {
    {"Postfix",
     withCrLf(kPostfix),
     true,
     "CF-318/abc-123",
     "abc-123@laceiba.example",
     {"nadie@laceiba.example 5.1.1"},
     "",
     "unknown user"},
    {"ExchangeOnline",
     kExchange,
     true,
     "",
     "f00d-1@acme.com.sv",
     {"compras@lospinos.example 5.1.10"},
     "",
     "RecipientNotFound; Recipient compras@lospinos.example not found"},
    {"GmailBase64",
     kGmail,
     true,
     "",
     "gm-ours@laceiba.example",
     {"ana.perez@gmail.com 5.1.1"},
     "",
     "550-5.1.1 The email account"},
    {"EximText",
     kExim,
     true,
     "",
     "exim-ours@laceiba.example",
     {"pedro@example.net 5.1.1"},
     "",
     "550 5.1.1 <pedro@example.net>"},
    {"DelayedIsNoBounce",
     report("Final-Recipient: rfc822; a@x\nAction: delayed\nStatus: 4.4.7\n"),
     true,
     "FA-1/u",
     "",
     {}},
    {"RelayedIsNoBounce",
     report("Final-Recipient: rfc822; a@x\nAction: relayed\nStatus: 2.0.0\n"),
     true,
     "FA-1/u",
     "",
     {}},
    {"OnlyTheFailedOfTwo",
     report("Final-Recipient: rfc822; a@x\nAction: delivered\nStatus: 2.0.0\n\n"
            "Final-Recipient: rfc822; b@x\nAction: failed (permanent)\nStatus: 5.2.2 (mailbox full)\n"),
     true,
     "FA-1/u",
     "",
     {"b@x 5.2.2"}},
    {"GlobalDeliveryStatus",
     report("Final-Recipient: rfc822; jos\xC3\xA9@x\nAction: failed\nStatus: 5.1.1\n",
            "message/global-delivery-status"),
     true,
     "FA-1/u",
     "",
     {"jos\xC3\xA9@x 5.1.1"}},
    {"ReportWithoutRecipients",
     report("Arrival-Date: today\n"),
     true,
     "FA-1/u",
     "",
     {},
     "a delivery report without recipient fields"},
    {"CutShortBeforeItsEnd",
     QByteArray(kPostfix).left(QByteArray(kPostfix).indexOf("Diagnostic-Code")),
     true,
     "CF-318/abc-123",
     "",
     {"nadie@laceiba.example 5.1.1"}},
    {"OrdinaryMail", "From: ana@example.com\nSubject: hola\nMessage-ID: <m@x>\n\nNo report here.\n", false, "", "", {}},
    {"NotMimeAtAll", QByteArray("\x00\xff\r\n--\r\n\r\n", 8), false, "", "", {}},
};

class DeliveryReportTest : public ::testing::TestWithParam<ReportCase> {};

TEST_P(DeliveryReportTest, ReadsWhatTheReportSays) {
  const ReportCase& c = GetParam();
  const DeliveryReport report = readDeliveryReport(c.message);
  EXPECT_EQ(report.isReport, c.isReport);
  EXPECT_EQ(report.envelopeId, QString::fromUtf8(c.envelopeId));
  EXPECT_EQ(report.originalMessageId, QString::fromUtf8(c.originalMessageId));
  EXPECT_EQ(report.problem, QString::fromUtf8(c.problem));
  QStringList failures;
  for (const DeliveryReport::Failure& failure : report.failures) failures << failure.recipient + u' ' + failure.status;
  EXPECT_EQ(failures, c.failures);
  if (c.diagnosticHolds[0] != '\0') {
    ASSERT_FALSE(report.failures.isEmpty());
    EXPECT_TRUE(report.failures.first().diagnostic.contains(QString::fromUtf8(c.diagnosticHolds)))
        << report.failures.first().diagnostic.toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(Forms, DeliveryReportTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ReportCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvex
