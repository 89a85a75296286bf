-- Fills an empty FILELIST with 1,000,000 rows of hourly segments, as a catalogue shared by a
-- network of stations looks after a year: row i is slot i % 114 of hour i / 114. Slots 0-2
-- are the benchmark's own station ABC (BHZ, BHN, BHE: 26,316 rows, about a year); slots 3-113
-- are 37 other stations of three channels each. Rows go in in time order, as a catalogue
-- grows. The newest hour ends 3601 s before 2003-02-01 00:00:00 (1044057600), where the
-- benchmark's recordings start, so no run appends to these segments and a run does the same
-- work as on an empty catalogue. The same rows as fill-catalogue.sqlite.sql.
WITH slots AS (
    SELECT i, i % 114 AS k, 1044057600 - 3600 * (8773 - i / 114) AS t
    FROM generate_series(0, 999999) AS i),
rows AS (
    SELECT CASE WHEN k < 3 THEN 'ABC' ELSE 'S' || to_char((k - 3) / 3, 'FM000') END AS sta,
           CASE k % 3 WHEN 0 THEN 'BHZ' WHEN 1 THEN 'BHN' ELSE 'BHE' END AS ch,
           CASE WHEN k < 3 THEN 200 ELSE 100 END AS sps,
           t, to_timestamp(t) AT TIME ZONE 'UTC' AS ts
    FROM slots)
INSERT INTO FILELIST (STA, SPS, GAIN, CPATH, DATATYPE, CH, CREATER, LDDATE, TBEGIN, TQTY, FOFF)
SELECT sta, sps, 1,
       sta || '\' || to_char(ts, 'HH24') || '\' || to_char(ts, 'DDMMYYYY-HH24MISS') || '-' || ch ||
           '.' || sta,
       3, ch, 'Korvane_c', ts + interval '1 hour', t, 3599, 512
FROM rows;
