{ seatenrol-check: uses every part of the seatenrol unit a host needs
  first, against the library: the record sizes, the version and result
  texts, an options record refused for its size, and a cancel requested
  before the enrolment, which ends it at once with nothing sent. One line
  per check; exit status 0 when every check held, 1 when one did not. }
program check;

{$APPTYPE CONSOLE}

uses
  seatenrol;

var
  Failures: Integer = 0;

procedure Expect(Held: Boolean; const What: string);
begin
  if Held then
    WriteLn('ok: ', What)
  else
  begin
    WriteLn('FAILED: ', What);
    Inc(Failures);
  end;
end;

var
  Secret: array[0..31] of Byte;
  Options: TSeatenrolOptions;
  Enrolment: TSeatenrolEnrolment;
  Cancel: PSeatenrolCancel;
  I, Outcome: Integer;
begin
  Expect((SizeOf(TSeatenrolEnrolment) = 64) and (SizeOf(TSeatenrolIdentity) = 60) and
    (SizeOf(TSeatenrolServer) = 296) and (SizeOf(TSeatenrolOptions) = 16 + 3 * SizeOf(Pointer)),
    'the records have the C structures'' sizes');
  WriteLn('seatenrol ', seatenrol_version);
  Expect(seatenrol_outcome_text(SEATENROL_CANCELLED) <> 'unknown outcome',
    'cancelled as text: ' + string(seatenrol_outcome_text(SEATENROL_CANCELLED)));
  for I := 0 to 31 do
    Secret[I] := I;

  { A record one byte short of the options is refused, and the result says so. }
  FillChar(Options, SizeOf(Options), 0);
  Options.Size := SizeOf(Options) - 1;
  FillChar(Enrolment, SizeOf(Enrolment), 0);
  Enrolment.Size := SizeOf(Enrolment);
  Outcome := seatenrol_enrol_with('440106123456', @Secret[0], '127.0.0.1', 9, @Options,
    @Enrolment);
  Expect((Outcome = SEATENROL_BAD_ARGUMENT) and (seatenrol_last_outcome = SEATENROL_BAD_ARGUMENT),
    'options too small refused');

  { A cancel requested before the call ends it at once. }
  Cancel := seatenrol_cancel_create;
  Expect(Cancel <> nil, 'a cancel made');
  Expect(seatenrol_cancel_request(Cancel) = SEATENROL_OK, 'the cancel requested');
  Options.Size := SizeOf(Options);
  Options.Cancel := Cancel;
  Outcome := seatenrol_enrol_with('440106123456', @Secret[0], '127.0.0.1', 9, @Options,
    @Enrolment);
  Expect((Outcome = SEATENROL_CANCELLED) and (Enrolment.Outcome = SEATENROL_CANCELLED),
    'an enrolment cancelled before it began');
  seatenrol_cancel_destroy(Cancel);

  if Failures = 0 then
    Halt(0)
  else
    Halt(1);
end.
