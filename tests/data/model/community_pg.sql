-- The schema of a small community mapping site as its developers would write it: extensions for
-- geometry, case-insensitive text and key/value pairs; enums; identity, serial and
-- uuid keys; a foreign key to a uniquely indexed column that is not the key; a composite key whose
-- order is not the columns' order; a table without a key; empty-string and empty-array defaults;
-- partial, expression, GiST and pattern indexes; checks; views.
CREATE EXTENSION IF NOT EXISTS postgis;
CREATE EXTENSION IF NOT EXISTS citext;
CREATE EXTENSION IF NOT EXISTS hstore;

CREATE TYPE user_role AS ENUM ('member', 'moderator', 'admin');
CREATE TYPE place_kind AS ENUM ('cafe', 'park', 'shop', 'other''s');

CREATE TABLE users (
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    public_id uuid NOT NULL DEFAULT gen_random_uuid(),
    email citext NOT NULL,
    display_name varchar(80) NOT NULL DEFAULT '',
    role user_role NOT NULL DEFAULT 'member',
    last_ip inet,
    settings jsonb NOT NULL DEFAULT '{}',
    tags text[] NOT NULL DEFAULT '{}',
    created_at timestamptz NOT NULL DEFAULT now(),
    CONSTRAINT users_email_key UNIQUE (email),
    CONSTRAINT users_display_name_check CHECK (display_name <> 'root')
);
-- A unique index, not a constraint, that a foreign key below points at.
CREATE UNIQUE INDEX users_public_id_idx ON users (public_id);

CREATE TABLE places (
    id serial PRIMARY KEY,
    owner_id bigint REFERENCES users (id) ON DELETE SET NULL,
    name varchar(200) NOT NULL,
    slug text NOT NULL,
    kind place_kind NOT NULL DEFAULT 'other''s',
    geom geometry(Point, 4326) NOT NULL,
    area geometry(Polygon, 4326),
    attrs hstore,
    visit_time interval DEFAULT '01:30:00',
    rating numeric(3, 1),
    CONSTRAINT places_rating_check CHECK (rating >= 0 AND rating <= 5)
);
CREATE INDEX places_geom_idx ON places USING gist (geom);
CREATE INDEX places_name_pattern ON places (name varchar_pattern_ops);
CREATE UNIQUE INDEX places_slug_lower ON places (lower(slug));
CREATE INDEX places_owner_idx ON places (owner_id) WHERE owner_id IS NOT NULL;

CREATE TABLE place_tags (
    place_id integer NOT NULL REFERENCES places (id) ON DELETE CASCADE,
    tag varchar(50) NOT NULL,
    weight smallint NOT NULL DEFAULT 1,
    PRIMARY KEY (tag, place_id)
);

CREATE TABLE relation_members (
    relation_id bigint NOT NULL,
    k integer NOT NULL,
    version integer NOT NULL,
    member_ref text NOT NULL DEFAULT '',
    PRIMARY KEY (relation_id, version, k)
);

CREATE TABLE changesets (
    id bigserial PRIMARY KEY,
    user_public_id uuid NOT NULL REFERENCES users (public_id),
    comment text NOT NULL DEFAULT '',
    opened_at timestamp NOT NULL DEFAULT LOCALTIMESTAMP,
    closed_at timestamp,
    bbox geometry(Polygon, 4326),
    CONSTRAINT changesets_closed_check CHECK (closed_at IS NULL OR closed_at >= opened_at)
);

CREATE TABLE sessions (
    token varchar(64) PRIMARY KEY,
    user_id bigint NOT NULL REFERENCES users (id) ON DELETE CASCADE,
    lifetime interval NOT NULL DEFAULT '14 days',
    data bytea
);

-- Written by the application, read by people: no key.
CREATE TABLE audit_log (
    at timestamptz NOT NULL DEFAULT now(),
    actor inet,
    action text NOT NULL DEFAULT '',
    detail jsonb
);

CREATE VIEW place_overview AS
    SELECT p.id, p.name, p.kind, u.display_name AS owner
    FROM places p LEFT JOIN users u ON u.id = p.owner_id;
CREATE MATERIALIZED VIEW tag_counts AS
    SELECT tag, count(*) AS places FROM place_tags GROUP BY tag;
