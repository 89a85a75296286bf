-- Fills an empty FILELIST with 1,000,000 rows of hourly segments, as a catalogue shared by a
-- network of stations looks after a year: row i is slot i % 114 of hour i / 114. Slots 0-2
-- are the benchmark's own station ABC (BHZ, BHN, BHE: 26,316 rows, about a year); slots 3-113
-- are 37 other stations of three channels each. Rows go in in time order, as a catalogue
-- grows. The newest hour ends 3601 s before 2003-02-01 00:00:00 (1044057600), where the
-- benchmark's recordings start, so no run appends to these segments and a run does the same
-- work as on an empty catalogue.
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 999999),
slots(i, k, t) AS (SELECT i, i % 114, 1044057600 - 3600 * (8773 - i / 114) FROM n),
rows(sta, ch, sps, t) AS (
    SELECT CASE WHEN k < 3 THEN 'ABC' ELSE printf('S%03d', (k - 3) / 3) END,
           CASE k % 3 WHEN 0 THEN 'BHZ' WHEN 1 THEN 'BHN' ELSE 'BHE' END,
           CASE WHEN k < 3 THEN 200 ELSE 100 END,
           t
    FROM slots)
INSERT INTO FILELIST (STA, SPS, GAIN, CPATH, DATATYPE, CH, CREATER, LDDATE, TBEGIN, TQTY, FOFF)
SELECT sta, sps, 1,
       sta || '\' || strftime('%H', t, 'unixepoch') || '\' ||
           strftime('%d%m%Y-%H%M%S', t, 'unixepoch') || '-' || ch || '.' || sta,
       3, ch, 'Korvane_c', datetime(t + 3600, 'unixepoch'), t, 3599, 512
FROM rows;
