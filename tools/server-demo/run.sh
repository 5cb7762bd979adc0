#!/usr/bin/env bash
# The real road of a job: a private PostgreSQL in DIR, the schema created
# from the generated DDL, a request built with the library (edsutil job ...),
# answered by the job server (edsutil exec), and the answer and the rows of
# the database checked against the expected files beside this script.
#
#   tools/server-demo/run.sh EDSUTIL DIR
#
# The cluster listens on a Unix socket in DIR only (no TCP) and is stopped and
# removed on every exit, a failure included (tests/support/postgres_server.sh).
# DIR keeps request.xml, answer.xml, answer.txt and rows.txt.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
edsutil=$(realpath "${1:?usage: $0 EDSUTIL DIR}")
dir=${2:?usage: $0 EDSUTIL DIR}
mkdir -p "$dir"
dir=$(realpath "$dir")
step() { echo "server demo: $*"; }

# The cluster goes into DIR when the server user can reach it (as root it
# runs as another user), else under /tmp.
export KEL_PG_PARENT=$dir
if [ "$(id -u)" -eq 0 ] && ! runuser -u "${KEL_PG_USER:-nobody}" -- test -w "$dir" 2>/dev/null; then
  chmod 1777 "$dir" 2>/dev/null || true
  runuser -u "${KEL_PG_USER:-nobody}" -- test -w "$dir" 2>/dev/null || KEL_PG_PARENT=/tmp
fi
# shellcheck source=../../tests/support/postgres_server.sh
source "$here/../../tests/support/postgres_server.sh"
pg_start
chmod 755 "$pg_work"
db="host=$pg_work port=5432 user=kel dbname=postgres"
step "PostgreSQL $("$pg_bindir/postgres" --version | awk '{print $3}') on the socket in $pg_work (no TCP)"

"$edsutil" sql --script -o "$dir/schema.sql"
"${psql[@]}" -1 -f "$dir/schema.sql" || fail "the generated schema did not run"
step "schema created from $dir/schema.sql"

# The request: related objects, a query, an update, a delete that a foreign
# key blocks, and one job with a value that is not a number.
r=$dir/request.xml
job() { "$edsutil" job "$@"; }
rm -f "$r"
job new "$r"
job add "$r" wp Create Work_Package
job input "$r" wp Part_instance_ptr "PI-0001"
job input "$r" wp Document_revision_ptr "DR-0001"
job input "$r" wp Work_package_type "Pont supérieur"
job input "$r" wp Last_update_time 20261206
job input "$r" wp Last_export_time 0
job add "$r" cr Create xq40718.Cable_Reference
job input "$r" cr Part_number "NKT-3×2,5 Ø"
job input "$r" cr Cable_type "Stromkabel | Ölbeständig"
job input "$r" cr External_diameter 0.0125 -t Double
job input "$r" cr Weight_per_unit_length 0.21
job input "$r" cr Bend_radius 0.075
for n in 1 2; do
  job add "$r" "ci$n" Create Cable_Instance
  job input "$r" "ci$n" Cable_name "W-00$n 電源"
  job input "$r" "ci$n" --context Work_package_key wp
  job input "$r" "ci$n" --context Cable_reference_key cr
done
job add "$r" query Read Cable_Instance
job input "$r" query Work_package_key 1
job input "$r" query --context Cable_name
job input "$r" query --context Cable_category
job input "$r" query --context Maximum_length
job add "$r" update Update Cable_Instance
job input "$r" update Cable_instance_key 2
job input "$r" update Cable_category "signal"
job input "$r" update Maximum_length 42.5
job add "$r" blocked Delete Work_Package
job input "$r" blocked Work_package_key 1
job add "$r" bad Create Cable_Reference
job input "$r" bad Part_number "NKT-X"
job input "$r" bad Cable_type power
job input "$r" bad External_diameter thick
job input "$r" bad Weight_per_unit_length 1
job input "$r" bad Bend_radius 1
step "request of $(grep -o '<EDB_Job ' "$r" | wc -l) jobs built in $r"

"$edsutil" exec --db "$db" "$r" >"$dir/answer.xml" || fail "edsutil exec failed"
"$edsutil" job show "$dir/answer.xml" >"$dir/answer.txt"
diff -u "$here/expected-answer.txt" "$dir/answer.txt" || fail "the answer differs from the expected one"
step "answer $dir/answer.xml checked value by value"

pg_query "SET search_path TO xq40718;
  SELECT 'Work_Package|' || Work_package_key || '|' || Part_instance_ptr::text || '|' || Work_package_type::text
    FROM Work_Package ORDER BY 1;
  SELECT 'Cable_Reference|' || Cable_reference_key || '|' || Part_number::text || '|' || Cable_type::text || '|' ||
         External_diameter || '|' || Weight_per_unit_length || '|' || Bend_radius FROM Cable_Reference ORDER BY 1;
  SELECT 'Cable_Instance|' || Cable_instance_key || '|' || Cable_name::text || '|' ||
         COALESCE(Cable_category::text, 'NULL') || '|' || COALESCE(Maximum_length::text, 'NULL') || '|' ||
         Work_package_key || '|' || Cable_reference_key FROM Cable_Instance ORDER BY 1;" >"$dir/rows.txt"
diff -u "$here/expected-rows.txt" "$dir/rows.txt" || fail "the rows differ from the expected ones"
step "rows of the database checked ($(wc -l <"$dir/rows.txt") rows); cluster stopped"
