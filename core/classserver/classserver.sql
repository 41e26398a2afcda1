-- The class server of Flinkprobe (blinkdash): every run of every computer of a class, in one
-- PostgreSQL database. Run once, as the database's owner, on an empty database:
--     psql -d flinkprobe -f classserver.sql
-- The program only ever reads and inserts; it never creates or changes a table. A later version
-- of this file brings its own steps from the version in blinkdash_schema.
BEGIN;

CREATE TABLE blinkdash_schema (version integer NOT NULL);
INSERT INTO blinkdash_schema VALUES (1);

-- A run as the program's journal keeps it, with the group it was sent for, and who sent it when.
-- A run is known by its uuid: sent twice, it is stored once.
CREATE TABLE runs (
    id bigserial PRIMARY KEY,
    uuid text NOT NULL UNIQUE CHECK (uuid ~ '^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$'),
    class_group text NOT NULL DEFAULT '',
    sent_at timestamptz NOT NULL DEFAULT now(),
    sent_by text NOT NULL DEFAULT current_user,
    started text NOT NULL,
    ended text NOT NULL,
    name text NOT NULL,
    device text NOT NULL,
    place text NOT NULL,
    signal_count integer NOT NULL,
    min_wait_s double precision NOT NULL,
    max_wait_s double precision NOT NULL,
    random_position boolean NOT NULL,
    warning boolean NOT NULL,
    lead_min_ms integer NOT NULL,
    lead_max_ms integer NOT NULL,
    sound text NOT NULL,
    ending text NOT NULL,
    early_presses integer NOT NULL,
    mean_ms bigint,
    deviation_ms bigint,
    threshold_ms bigint,
    result_ms integer,
    version text NOT NULL,
    display_latency_ms double precision,
    display_latency_sd_ms double precision,
    latency_corrected boolean NOT NULL,
    timing text,
    light_timing text,
    task text NOT NULL,
    computer text
);
CREATE INDEX runs_by_group ON runs (class_group, id);

CREATE TABLE trials (
    run_id bigint NOT NULL REFERENCES runs (id) ON DELETE CASCADE,
    seq integer NOT NULL,
    wait_ms integer NOT NULL,
    time_ms integer NOT NULL,
    box_us bigint,
    x integer,
    y integer,
    warm_up boolean NOT NULL,
    outlier boolean NOT NULL,
    counted boolean NOT NULL,
    light_latency_ms double precision,
    light_us bigint,
    answer text,
    stimulus text,
    expected text,
    correct boolean,
    lapse boolean NOT NULL,
    false_start boolean NOT NULL,
    PRIMARY KEY (run_id, seq)
);

-- Pupils' computers send and read; a teacher also deletes. A login role per class or teacher
-- joins one of these (README, "The class server"). Roles belong to the whole cluster: a second
-- class database on it finds them there.
DO $$
BEGIN
    CREATE ROLE blinkdash_pupil NOLOGIN;
EXCEPTION WHEN duplicate_object THEN NULL;
END $$;
DO $$
BEGIN
    CREATE ROLE blinkdash_teacher NOLOGIN IN ROLE blinkdash_pupil;
EXCEPTION WHEN duplicate_object THEN NULL;
END $$;
GRANT SELECT ON blinkdash_schema TO blinkdash_pupil;
GRANT SELECT, INSERT ON runs, trials TO blinkdash_pupil;
GRANT USAGE ON SEQUENCE runs_id_seq TO blinkdash_pupil;
GRANT DELETE ON runs, trials TO blinkdash_teacher;

COMMIT;
