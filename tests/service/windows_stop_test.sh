#!/usr/bin/env bash
# windows_stop_test.sh DATA: part of windows_install_test.sh, with the
# installed service stopped, its Application folder DATA holding the demo's
# database. The service mails 20 documents to an SMTP server on loopback
# (STARTTLS) which, holding its reply to the data of one mail, has the
# service stopped (sc stop). The mail in flight is marked, nothing new
# starts, and the service stops by itself; started again it mails the rest.
# Every document once, none lost. Leaves the service stopped and mailing
# into the pickup folder again. The machine's pre-shutdown takes the same
# path in the service, but Wine cannot send it (its ControlService refuses
# the code, and its shut-down sends none).
set -euo pipefail
cd "$(dirname "$0")/../.."
data=$1
# shellcheck source=scripts/windows-env.sh
source scripts/windows-env.sh
# shellcheck source=tests/service/windows_helpers.sh
source tests/service/windows_helpers.sh
scratch=$(mktemp -d)
peer=
cleanup() {
  if [ -n "$peer" ]; then kill "$peer" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  echo "windows-stop: $*" >&2
  exit 1
}
db() { sqlite3 -cmd '.timeout 10000' "$data/corvex-demo.db" "$1"; }
stopped() { win sc query Corvex | grep 'STATE *: *1 ' >/dev/null; }
received() { find "$scratch"/mail-* -name '*.eml' 2>/dev/null | wc -l; }
marked() { db "SELECT COUNT(*) FROM FACTURAS_ENC WHERE SERIE = 'BM' AND ENVIADA = 1"; }

# aiosmtpd comes from Debian: Debian's interpreter has it, even where another
# python3 comes first on PATH (as the C++ tests' peers choose it).
python=${CORVEX_PYTHON:-$(command -v /usr/bin/python3 || command -v python3)}

# An SMTP server into mail-NAME that runs COMMAND after its message AFTER (0:
# never), its reply to that message's data waiting for the command.
serve() {
  local name=$1 after=$2 command=$3 line
  mkdir -p "$scratch/mail-$name"
  coproc PEER (exec "$python" tests/support/smtp_server.py serve --folder "$scratch/mail-$name" --tls starttls \
    --cert-dir "$scratch/certs" --after "$after" --run "$command")
  peer=$PEER_PID
  read -r line <&"${PEER[0]}"
  db "UPDATE Parametros SET Valor = '${line#READY }' WHERE Parametro = 'sysSMTPPort'"
}
end_peer() {
  kill "$peer"
  wait "$peer" 2>/dev/null || true
  peer=
}

mkdir -p "$scratch/certs"
db "UPDATE FACTURAS_ENC SET ENVIADA = 1;
CREATE TEMP TABLE copies AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20)
  SELECT e.* FROM n CROSS JOIN FACTURAS_ENC e WHERE e.SERIE = 'FA' AND e.NUMERO = 1251 ORDER BY n.i;
UPDATE copies SET SERIE = 'BM', NUMERO = rowid, ENVIADA = 0, IDDOCUMENTO = printf('STOP-%06d', rowid),
  EMAIL = printf('buyer%d@example.com', rowid), FECHA = datetime('2024-04-01 08:00:00', printf('+%d seconds', rowid));
INSERT INTO FACTURAS_ENC SELECT * FROM copies;
INSERT INTO FACTURAS_DET SELECT 'BM', c.NUMERO, d.LINEA, d.IDARTICULO, d.ARTICULO, d.CANTIDAD, d.PRECIO,
  d.PRECIO_FINAL, d.TLINEA, d.IITLINEA FROM copies c CROSS JOIN FACTURAS_DET d WHERE d.SERIE = 'FA' AND d.NUMERO = 1251;
UPDATE Parametros SET Valor = 'localhost' WHERE Parametro = 'sysSMTPServer';"
# The first peer makes the CA. The service trusts it: services.exe builds a
# service's environment from the registry's, once, so it starts again, and
# with it the service, which starts at boot. The stop comes while the
# server holds its reply to the first mail's data.
serve warm 0 true
end_peer
win reg add 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' /v CURL_CA_BUNDLE \
  /d "$(winepath -w "$scratch/certs/ca.pem" 2>/dev/null)" /f >/dev/null
serve stop 1 "'$wine' sc stop Corvex >/dev/null 2>&1"
"$wineserver" -k
"$wineserver" -w
"$wineserver" -p
win sc query Corvex >/dev/null
wait_for 120 stopped || fail "a stop with a mail in flight did not stop the service"
end_peer
[ "$(received)" -gt 0 ] || fail "nothing was mailed before the stop"
[ "$(marked)" = "$(received)" ] || fail "after the stop: $(received) mailed, $(marked) marked"
[ "$(marked)" -lt 20 ] || fail "the stop did not stop the sending"

serve rest 0 true
win sc start Corvex >/dev/null || fail "the service did not start for the rest"
all_marked() { [ "$(marked)" = 20 ]; }
wait_for 180 all_marked || fail "the rest was not mailed: $(marked) of 20 marked"
win sc stop Corvex >/dev/null
wait_for 60 stopped || fail "the service did not stop at the end"
end_peer
[ "$(received)" = 20 ] || fail "$(received) mails for 20 documents"
duplicates=$(grep -h '^To:' "$scratch"/mail-*/*.eml | sort | uniq -d)
[ -z "$duplicates" ] || fail "mailed twice: $duplicates"
db "UPDATE Parametros SET Valor = 'pickup:outbox' WHERE Parametro = 'sysSMTPServer'"
echo "windows-stop: a stop with a mail in flight mailed each document once"
