classdef KorVideoSource < handle
% KORVIDEOSOURCE  The video source of a KorVideoInput: the camera's device properties.
%
%   SRC = GETSELECTEDSOURCE(VID) returns it. Its properties are those the
%   acquisition adaptor declares for the camera: Exposure, Gain, Strobe
%   ('Off' or 'On'), StrobeDelay, StrobeDuration (where the camera has one),
%   ExposureDelay and Timeout.
%
%     src.Exposure = 20;          % sets; reaches the camera at the next start
%     x = src.Exposure;           % reads
%     src.Strobe = 'On';          % an enumerated value
%     info = propinfo(src, 'Exposure')
%
%   A name the camera lacks raises KorVideoInput:noProperty, a value outside
%   the declared range or values KorVideoInput:outOfRange, and a change while
%   the video input runs KorVideoInput:readOnlyWhileRunning. Warnings of the
%   adaptor (a value replaced by its default) are shown as warnings.
%
%   See also KorVideoInput, KorVideoSource/propinfo.

  properties (SetAccess = private)
    SourceName = '';
  end

  properties (Access = private, Hidden)
    % The handle of the video input, not the object: the object holds its
    % source, and a source holding the object would keep both alive (and the
    % camera open and acquiring) after the last variable is cleared.
    Handle = [];
  end

  methods
    function obj = KorVideoSource(handle)
      obj.Handle = handle;
      obj.SourceName = KorVideoInput.call('get', handle, 'SourceName');
    end

    function info = propinfo(obj, name)
    % INFO = PROPINFO(SRC, NAME): Type ('double' or 'string'), Constraint
    % ('bounded' or 'enum'), ConstraintValue ([min max] or a cell of the
    % values in declared order), DefaultValue and ReadOnly ('whileRunning').
      info = KorVideoInput.call('propinfo', obj.Handle, name);
    end

    function names = propertyNames(obj)
    % NAMES = PROPERTYNAMES(SRC) is a cell of the device property names.
      names = KorVideoInput.call('sourcenames', obj.Handle);
    end

    function disp(obj)
      names = KorVideoInput.call('sourcenames', obj.Handle);
      fprintf('  KorVideoSource "%s"\n', obj.SourceName);
      for i = 1:numel(names)
        value = KorVideoInput.call('sourceget', obj.Handle, names{i});
        if ischar(value)
          fprintf('    %s: %s\n', names{i}, value);
        else
          fprintf('    %s: %g\n', names{i}, value);
        end
      end
    end

    function varargout = subsref(obj, s)
      if strcmp(s(1).type, '.') && ischar(s(1).subs) && KorVideoSource.isDeviceName(s(1).subs)
        value = KorVideoInput.call('sourceget', obj.Handle, s(1).subs);
        if numel(s) > 1
          value = subsref(value, s(2:end));
        end
        varargout = {value};
        return;
      end
      [varargout{1:nargout}] = builtin('subsref', obj, s);
    end

    function obj = subsasgn(obj, s, value)
      if strcmp(s(1).type, '.') && ischar(s(1).subs) && numel(s) == 1 && ...
         ~any(strcmp(s(1).subs, {'SourceName', 'Handle'}))
        KorVideoInput.call('sourceset', obj.Handle, s(1).subs, value);
        return;
      end
      obj = builtin('subsasgn', obj, s, value);
    end
  end

  methods (Static, Access = private)
    function tf = isDeviceName(name)
    % Names of the class itself are the class's; every other name is asked
    % of the camera, which refuses one it lacks.
      tf = ~any(strcmp(name, {'SourceName', 'Handle', 'propinfo', 'propertyNames', 'disp', ...
                               'delete', 'isvalid'}));
    end
  end
end
