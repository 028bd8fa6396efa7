# Sums the Ir cost of a callgrind profile by object file. Names are
# compressed: "(n) name" defines n on first use, in ob= or cob= lines.
function object(s,    id, rest) {
  if (!match(s, /^\([0-9]+\)/)) return s
  id = substr(s, RSTART, RLENGTH); rest = substr(s, RLENGTH + 2)
  if (rest != "") name[id] = rest
  return name[id]
}
/^ob=/ { cur = object(substr($0, 4)); next }
/^cob=/ { object(substr($0, 5)); next }
/^calls=/ { skip = 1; next }
/^[0-9+*-]/ { if (skip) { skip = 0; next }; sum[cur] += $2 }
END { for (o in sum) print sum[o], o }
