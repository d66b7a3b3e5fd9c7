# shellcheck shell=bash
# Sourced (bash) by the Windows package checks. ledger_status PG_SERVER_RUN EXE: `EXE ledger status` under
# Wine against a PostgreSQL server of the check's own that takes TLS only (pg_server_run --tls), its
# certificate checked against the root that signed it (verify-full). Prints the first line of what the
# program said, its port number as PORT, and its exit code: a server with no ledger yet answers
# "zrvlink ledger: ledger host=127.0.0.1 port=PORT dbname=postgres user=zrv: not a ledger of stations ...;
# exit 32", which only a libpq.dll that loaded, spoke TLS and trusted the server can bring.
ledger_status() {
  # shellcheck disable=SC2016 # expanded by the inner shell, within the server's run
  "$1" --tls -- bash -c '
    said=$(/usr/lib/wine/wine64 "$0" ledger status \
      --ledger "$ZRV_PG_CONNINFO sslmode=verify-full sslrootcert=Z:$ZRV_PG_ROOT_CERT" 2>&1)
    status=$?
    printf "%s; exit %s\n" "$(printf "%s\n" "$said" | tr -d "\r" | head -n 1 | sed "s/ port=[0-9]* / port=PORT /")" "$status"' "$2"
}
