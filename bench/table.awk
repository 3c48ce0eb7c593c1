# The benchmark table from lines "JDK KEY LIBRARY BARE RATIO", one per run:
# per benchmark and JDK the medians of the three figures, the lowest and
# highest ratio, and the target (">= X", "<= X", or "X to Y" for both bounds).
# Exits 1 if a median ratio misses its target.

function median(list, n,    v, i, j, t) {
  split(list, v, " ")
  for (i = 2; i <= n; i++)
    for (j = i; j > 1 && v[j - 1] + 0 > v[j] + 0; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
  return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
}

BEGIN {
  # key, label, figure format, target ("" for none): rows in this order.
  n = split("vostrel.depth.512k|vostrel.depth.1m|tamsik.depth.512k|tamsik.depth.1m|" \
            "brantholm.CheckSum|brantholm.CheckCompare|quenmarl.except|tellvarn.passes|brantholm.CheckSum-vs-Java", keys, "|")
  label["vostrel.depth.512k"] = "vostrel depth, -Xss512k -Xint (frames)"; target["vostrel.depth.512k"] = ">= 0.985"
  label["vostrel.depth.1m"] = "vostrel depth, -Xss1m -Xint (frames)"; target["vostrel.depth.1m"] = ">= 0.985"
  label["tamsik.depth.512k"] = "tamsik depth, -Xss512k -Xint (frames)"
  label["tamsik.depth.1m"] = "tamsik depth, -Xss1m -Xint (frames)"
  label["brantholm.CheckSum"] = "brantholm CheckSum, 1 MiB (us/call)"; target["brantholm.CheckSum"] = "0.95 to 1.05"
  label["brantholm.CheckCompare"] = "brantholm CheckCompare, 1 MiB (us/call)"; target["brantholm.CheckCompare"] = "0.95 to 1.05"
  label["quenmarl.except"] = "quenmarl except (calls/s)"; target["quenmarl.except"] = "0.95 to 1.05"
  label["tellvarn.passes"] = "tellvarn loop, no JVM (passes/s)"; target["tellvarn.passes"] = "0.95 to 1.05"
  label["brantholm.CheckSum-vs-Java"] = "CheckSum vs a Java loop (bare = Java)"
  format["brantholm.CheckSum"] = format["brantholm.CheckCompare"] = format["brantholm.CheckSum-vs-Java"] = "%.1f"
}

{
  id = $1 SUBSEP $2
  if (!(id in count)) { jdks[$2] = jdks[$2] " " $1 }
  count[id]++
  libs[id] = libs[id] " " $3
  bares[id] = bares[id] " " $4
  ratios[id] = ratios[id] " " $5
  if (!(id in low) || $5 + 0 < low[id]) low[id] = $5 + 0
  if (!(id in high) || $5 + 0 > high[id]) high[id] = $5 + 0
}

END {
  printf "%-42s %-4s %12s %12s %7s  %-13s  %-9s\n", "benchmark", "JDK", "library", "bare", "ratio", "runs min-max", "target"
  missed = 0
  for (k = 1; k <= n; k++) {
    key = keys[k]
    split(substr(jdks[key], 2), list, " ")
    for (j = 1; j in list; j++) {
      id = list[j] SUBSEP key
      c = count[id]
      f = key in format ? format[key] : "%.0f"
      r = median(ratios[id], c)
      verdict = ""
      if (key in target) {
        split(target[key], t, " ")
        if (t[2] == "to") ok = r >= t[1] && r <= t[3]
        else ok = t[1] == ">=" ? r >= t[2] : r <= t[2]
        verdict = target[key] (ok ? " met" : " MISSED")
        if (!ok) missed = 1
      }
      printf "%-42s %-4s %12s %12s %7.4f  %.4f-%.4f  %s\n", label[key], list[j], sprintf(f, median(libs[id], c)),
             sprintf(f, median(bares[id], c)), r, low[id], high[id], verdict
    }
  }
  exit missed
}
