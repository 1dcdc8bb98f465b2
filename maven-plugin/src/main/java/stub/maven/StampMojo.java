package stub.maven;

import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

import org.apache.maven.plugin.AbstractMojo;
import org.apache.maven.plugin.MojoExecutionException;
import org.apache.maven.plugin.MojoFailureException;
import org.apache.maven.plugins.annotations.LifecyclePhase;
import org.apache.maven.plugins.annotations.Mojo;
import org.apache.maven.plugins.annotations.Parameter;

/**
 * Writes the application's Windows launcher: a copy of the console or windowed launcher, 64- or 32-bit,
 * with the configuration file's settings, by the configuration tool carried in this plugin for the
 * machine the build runs on.
 */
@Mojo(name = "stamp", defaultPhase = LifecyclePhase.PACKAGE, threadSafe = true)
public class StampMojo extends AbstractMojo {
    /** The platforms whose configuration tool the plugin carries, as "os-arch" folder names. */
    static final String[] PLATFORMS = {"linux-x86_64", "windows-x86_64"};

    /** The configuration file, as the configuration tool reads it. */
    @Parameter(property = "stub.configuration", defaultValue = "${project.basedir}/src/main/launcher/${project.artifactId}.ini")
    private File configuration;

    /** console or windowed. */
    @Parameter(property = "stub.launcher", defaultValue = "console")
    private String launcher;

    /** x64 or x86: the bitness of the Java runtime the launcher is to load. */
    @Parameter(property = "stub.arch", defaultValue = "x64")
    private String arch;

    @Parameter(property = "stub.outputFile", defaultValue = "${project.build.directory}/${project.build.finalName}.exe")
    private File outputFile;

    /** Optional .ico file. */
    @Parameter(property = "stub.icon")
    private File icon;

    /** Optional splash bitmap (.bmp). */
    @Parameter(property = "stub.splash")
    private File splash;

    /** Optional application manifest, replacing the launcher's own. */
    @Parameter(property = "stub.manifest")
    private File manifest;

    @Parameter(defaultValue = "${project.version}", readonly = true)
    private String projectVersion;

    @Parameter(defaultValue = "${project.build.directory}/stub", readonly = true)
    private File workDirectory;

    @Override
    public void execute() throws MojoExecutionException, MojoFailureException {
        String platform = platform(System.getProperty("os.name"), System.getProperty("os.arch"));
        if (platform == null) {
            throw new MojoExecutionException("The stub plugin runs on " + String.join(" and ", PLATFORMS) + " only, not on "
                    + System.getProperty("os.name") + " " + System.getProperty("os.arch"));
        }
        String stub = stubPath(launcher, arch);
        if (stub == null) {
            throw new MojoFailureException("launcher must be console or windowed and arch x64 or x86, not \"" + launcher
                    + "\" and \"" + arch + "\"");
        }
        Path tool = extract(platform + "/" + (platform.startsWith("windows") ? "stubconfig.exe" : "stubconfig"));
        tool.toFile().setExecutable(true);
        List<String> command = new ArrayList<>(List.of(tool.toString(), "write", "--stub", extract(stub).toString(),
                "--config", configuration.getPath(), "--out", outputFile.getPath()));
        String version = numericVersion(projectVersion);
        if (version != null) {
            command.addAll(List.of("--default-version", version));
        } else {
            getLog().warn("The project's version " + projectVersion + " starts with no version number; the launcher keeps its own");
        }
        addOption(command, "--icon", icon);
        addOption(command, "--splash", splash);
        addOption(command, "--manifest", manifest);
        outputFile.getParentFile().mkdirs();
        run(command);
        getLog().info("Wrote " + outputFile);
    }

    /** "linux-x86_64" or "windows-x86_64" for the platforms the plugin carries a tool for, else null. */
    static String platform(String osName, String osArch) {
        String os = osName.toLowerCase(Locale.ROOT);
        boolean x64 = osArch.equals("amd64") || osArch.equals("x86_64");
        if (x64 && os.equals("linux")) return PLATFORMS[0];
        if (x64 && os.startsWith("windows")) return PLATFORMS[1];
        return null;
    }

    /** The launcher's path inside the plugin ("x64/stubcon.exe"), or null for values it does not know. */
    static String stubPath(String launcher, String arch) {
        String name = launcher.equals("console") ? "stubcon.exe" : launcher.equals("windowed") ? "stubwin.exe" : null;
        return name != null && (arch.equals("x64") || arch.equals("x86")) ? arch + "/" + name : null;
    }

    /** The leading one to four numbers of a project version ("2.7.1" of "2.7.1-SNAPSHOT"), or null. */
    static String numericVersion(String version) {
        Matcher numbers = Pattern.compile("^\\d+(\\.\\d+){0,3}").matcher(version);
        return numbers.find() ? numbers.group() : null;
    }

    private static void addOption(List<String> command, String option, File file) {
        if (file != null) command.addAll(List.of(option, file.getPath()));
    }

    /** Copies a file the plugin carries into the build's work directory. */
    private Path extract(String name) throws MojoExecutionException {
        Path target = workDirectory.toPath().resolve(name);
        try (InputStream in = StampMojo.class.getResourceAsStream("/stub/" + name)) {
            if (in == null) throw new MojoExecutionException("The plugin carries no " + name);
            Files.createDirectories(target.getParent());
            Files.copy(in, target, StandardCopyOption.REPLACE_EXISTING);
        } catch (IOException e) {
            throw new MojoExecutionException("Cannot write " + target + ": " + e.getMessage(), e);
        }
        return target;
    }

    /** Runs the tool; its messages become the build's, and a failure fails the build with them. */
    private void run(List<String> command) throws MojoExecutionException, MojoFailureException {
        String output;
        int exit;
        try {
            Process process = new ProcessBuilder(command).redirectErrorStream(true).start();
            process.getOutputStream().close();
            output = new String(process.getInputStream().readAllBytes(), StandardCharsets.UTF_8).trim();
            exit = process.waitFor();
        } catch (IOException e) {
            throw new MojoExecutionException("Cannot run " + command.get(0) + ": " + e.getMessage(), e);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            throw new MojoExecutionException("Interrupted while running " + command.get(0), e);
        }
        if (exit != 0) throw new MojoFailureException(output.isEmpty() ? "stubconfig failed with exit code " + exit : output);
        if (!output.isEmpty()) getLog().warn(output);
    }
}
