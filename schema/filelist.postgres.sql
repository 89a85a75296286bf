-- The catalogue table FILELIST for a PostgreSQL data source: one row per segment file.
-- Names stay unquoted, so that they fold to lower case and every spelling finds them.
-- Running this again changes nothing.
CREATE TABLE IF NOT EXISTS FILELIST (
    STA      VARCHAR(255),      -- station name
    SPS      DOUBLE PRECISION,  -- samples per second
    GAIN     INTEGER,
    CPATH    VARCHAR(255),      -- segment path below the data root, "\"-separated; names the row
    DATATYPE INTEGER,
    CH       VARCHAR(255),      -- channel name
    CREATER  VARCHAR(255),      -- name of the program that wrote the row
    LDDATE   TIMESTAMP,         -- local time of the row's last write
    TBEGIN   DOUBLE PRECISION,  -- seconds since 1970 of the first sample
    TQTY     DOUBLE PRECISION,  -- duration in seconds
    FOFF     INTEGER            -- byte offset of the first sample in the file
);

-- The latest segment of one channel: equality on the first three columns, then a range on the
-- segment's end, which a plain column index could not serve.
CREATE INDEX IF NOT EXISTS filelist_channel_end ON FILELIST (CREATER, STA, CH, (TBEGIN + TQTY));
-- A station's segments oldest first, and its stored total: SPS and TQTY ride along, so that
-- the total is summed from the index alone, without a visit to every row of the station.
CREATE INDEX IF NOT EXISTS filelist_station_begin ON FILELIST (CREATER, STA, TBEGIN, SPS, TQTY);
-- Rows looked up, rewritten and deleted by path.
CREATE INDEX IF NOT EXISTS filelist_path ON FILELIST (CPATH);
