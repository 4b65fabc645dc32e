// nodemailer's SMTP pool sending the same mails as corvex_smtp_bench, for a
// side-by-side figure; run by `corvex_smtp_bench --nodemailer DIR`, where DIR
// holds node_modules/nodemailer (`npm install nodemailer` there).
//
//   node nodemailer_pool.js PORT USER PASSWORD CA_FILE MESSAGES CONNECTIONS JSON_FILE PDF_FILE
// Prints "sent N" once every message was answered.
const fs = require("fs");
const nodemailer = require("nodemailer");

const [port, user, pass, ca, messages, connections, json, pdf] = process.argv.slice(2);
const transport = nodemailer.createTransport({
  pool: true,
  host: "127.0.0.1",
  port: Number(port),
  secure: false,
  requireTLS: true,
  auth: { user, pass },
  tls: { ca: fs.readFileSync(ca), servername: "localhost" },
  maxConnections: Number(connections),
  maxMessages: 100,
});

const sends = [];
for (let i = 0; i < Number(messages); ++i) {
  sends.push(transport.sendMail({
    from: "dte@laceiba.example",
    to: `buyer${i}@example.com`,
    subject: "Envío de DTE",
    text: "Estimado (a): ...",
    attachments: [{ path: json }, { path: pdf }],
  }).then(() => 1, () => 0));
}
Promise.all(sends).then((results) => {
  console.log(`sent ${results.reduce((a, b) => a + b, 0)}`);
  transport.close();
});
