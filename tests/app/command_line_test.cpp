#include "app/command_line.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

using Action = CommandLine::Action;

struct Case {
  QStringList arguments;
  Action action;
  bool headless;
  bool once;
};

TEST(CommandLineTest, ActionsAndModes) {
  const Case cases[] = {
      {{}, Action::Run, false, false},
      {{"--headless"}, Action::Run, true, false},
      {{"--once", "--app-dir", "/srv/corvex"}, Action::Run, true, true},
      {{"--help"}, Action::Help, false, false},
      {{"--version"}, Action::Version, false, false},
      {{"render", "factura", "A", "-7"}, Action::Render, false, false},
      {{"render", "credito-fiscal", "B'1", "125", "--app-dir", "x"}, Action::Render, false, false},
      {{"demo"}, Action::Demo, false, false},
      {{"demo", "/tmp/d"}, Action::Demo, false, false},
      {{"--bogus"}, Action::Invalid, false, false},
      {{"extra"}, Action::Invalid, false, false},
      {{"render", "dte", "docs/01.json", "--app-dir", "x"}, Action::Render, false, false},
      {{"render", "dte"}, Action::Invalid, false, false},
      {{"render", "dte", "a.json", "b.json"}, Action::Invalid, false, false},
      {{"render", "boleta", "A", "1"}, Action::Invalid, false, false},
      {{"render", "factura", "A"}, Action::Invalid, false, false},
      {{"render", "factura", "A", "3000000000"}, Action::Invalid, false, false},
      {{"demo", "a", "b"}, Action::Invalid, false, false},
      {{"check", "--app-dir", "/srv/c"}, Action::Check, false, false},
      {{"check", "now"}, Action::Invalid, false, false},
      {{"test-mail", "admin@example.com", "--exit-on-error"}, Action::TestMail, false, false},
      {{"test-mail"}, Action::Invalid, false, false},
      {{"test-mail", "a@b.c", "d@e.f"}, Action::Invalid, false, false},
      {{"resend", "CF", "318"}, Action::Resend, false, false},
      {{"resend", "CF", "-2", "--to", "contador@example.com", "--app-dir", "d"}, Action::Resend, false, false},
      {{"resend", "CF"}, Action::Invalid, false, false},
      {{"resend", "CF", "x1"}, Action::Invalid, false, false},
      {{"resend", "CF", "1", "--to", "no-at-sign"}, Action::Invalid, false, false},
      {{"resend", "CF", "1", "--to", "a@b.c;d@e.f"}, Action::Invalid, false, false},
      {{"resend", "CF", "1", "--to="}, Action::Invalid, false, false},
      {{"check", "--to", "a@b.c"}, Action::Invalid, false, false},
      {{"--to", "a@b.c"}, Action::Invalid, false, false},
      {{"check", "--account", "x"}, Action::Invalid, false, false},
      {{"--password", "x"}, Action::Invalid, false, false},
      {{"status", "--json", "--app-dir", "d"}, Action::Status, false, false},
      {{"status", "now"}, Action::Invalid, false, false},
      {{"check", "--json"}, Action::Invalid, false, false},
      {{"--json"}, Action::Invalid, false, false},
      {{"history", "CF", "-318"}, Action::History, false, false},
      {{"history", "CF"}, Action::Invalid, false, false},
      {{"history", "CF", "x1"}, Action::Invalid, false, false},
      {{"history", "CF", "1", "--json"}, Action::Invalid, false, false},
      {{"dismiss-bounce", "CF", "318"}, Action::DismissBounce, false, false},
      {{"dismiss-bounce", "CF", "318", "--to", "a@b.c"}, Action::Invalid, false, false},
      // A password on the command line would stay in process listings.
      {{"service", "install", "--account", "CORP\\corvex", "--password", "p"}, Action::Invalid, false, false},
#ifdef Q_OS_WIN
      {{"service", "install", "--account", "CORP\\corvex", "--app-dir", "C:\\Corvex"}, Action::Service, true, false},
      {{"service", "run", "--app-dir", "C:\\Corvex"}, Action::Service, true, false},
      {{"service", "uninstall", "--account", "x"}, Action::Invalid, false, false},
      {{"service", "start"}, Action::Invalid, false, false},
#else
      // Only Windows has a Service Control Manager.
      {{"service", "install"}, Action::Invalid, false, false},
#endif
  };
  for (const Case& c : cases) {
    const CommandLine parsed = parseCommandLine(c.arguments);
    EXPECT_EQ(parsed.action, c.action) << c.arguments.join(' ').toStdString();
    if (c.action == Action::Invalid) {
      EXPECT_FALSE(parsed.message.isEmpty());
      continue;
    }
    EXPECT_EQ(parsed.headless, c.headless) << c.arguments.join(' ').toStdString();
    EXPECT_EQ(parsed.once, c.once) << c.arguments.join(' ').toStdString();
  }
}

TEST(CommandLineTest, RenderAndDemoValues) {
  const CommandLine render = parseCommandLine({"render", "credito-fiscal", "B'1", "-125", "--app-dir", "/srv/c"});
  EXPECT_EQ(render.layout, QStringLiteral("credito-fiscal"));
  EXPECT_EQ(render.serie, QStringLiteral("B'1"));
  EXPECT_EQ(render.numero, -125);
  EXPECT_EQ(render.appDir, QStringLiteral("/srv/c"));
  const CommandLine dte = parseCommandLine({"render", "dte", "docs/01 a.json"});
  EXPECT_EQ(dte.layout, QStringLiteral("dte"));
  EXPECT_EQ(dte.file, QStringLiteral("docs/01 a.json"));
  EXPECT_EQ(parseCommandLine({"demo"}).demoDir, QStringLiteral("corvex-demo"));
  EXPECT_EQ(parseCommandLine({"demo", "/tmp/d"}).demoDir, QStringLiteral("/tmp/d"));
  EXPECT_EQ(parseCommandLine({"test-mail", "admin@example.com"}).address, QStringLiteral("admin@example.com"));
  const CommandLine resend = parseCommandLine({"resend", "CF", "-2", "--to", "contador@example.com"});
  EXPECT_EQ(resend.serie, QStringLiteral("CF"));
  EXPECT_EQ(resend.numero, -2);
  EXPECT_EQ(resend.to, QStringLiteral("contador@example.com"));
  const CommandLine history = parseCommandLine({"history", "CF", "-318"});
  EXPECT_EQ(history.serie, QStringLiteral("CF"));
  EXPECT_EQ(history.numero, -318);
  EXPECT_TRUE(parseCommandLine({"status", "--json"}).json);
  EXPECT_TRUE(parseCommandLine({"--headless", "--exit-on-error"}).exitOnError);
  EXPECT_FALSE(parseCommandLine({"--headless"}).exitOnError);
}

}  // namespace
}  // namespace corvex
