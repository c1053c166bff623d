-- Appended to the project template to make a template whose save fails halfway: the insert of the
-- column "note" into tb_Column is refused, after tb_Project and tb_Table rows went in.
CREATE TRIGGER refuse_note BEFORE INSERT ON tb_Column
WHEN NEW.CL_NAME = 'note'
BEGIN
    SELECT RAISE(ABORT, 'note refused by trigger');
END;
